// SPDX-License-Identifier: Apache-2.0
// SocketProperties: the keyed properties of a network camera, each key one operation of its protocol.
#include "net/SocketProperties.h"

#include <algorithm>
#include <cstring>

#include "net/SocketProtocol.h"
#include "protocol/PropertyKeys.h"
#include "protocol/StatusCodes.h"
#include "runtime/LogCustom.h"

namespace {

/// Copies a property record of `size` bytes into `record` (zero-filled first), never reading past either.
template <typename Record> bool RecordFromProperty(const void *data, int size, Record &record)
{
    std::memset(&record, 0, sizeof(record));
    if (data == nullptr || size <= 0) {
        TFLOG("invalid param: size:%d", size);
        return false;
    }
    std::memcpy(&record, data, std::min(sizeof(record), static_cast<size_t>(size)));
    return true;
}

/// Copies `record` back into a property buffer of `size` bytes.
template <typename Record> void RecordToProperty(const Record &record, void *data, int size)
{
    std::memcpy(data, &record, std::min(sizeof(record), static_cast<size_t>(size)));
}

/// A list property holds a count byte and at most size - 1 entries.
template <typename List> void ClampListToProperty(List &list, int size)
{
    const int room = std::min(size - 1, kMaxListEntries);
    if (list.count > room) {
        TFLOG("list count:%d is cut to %d", static_cast<int>(list.count), room);
        list.count = static_cast<uint8_t>(std::max(room, 0));
    }
}

} // namespace

int SocketProperties::SetProperty(int key, const void *data, int size)
{
    const auto *text = static_cast<const char *>(data);
    switch (key) {
    case kSessionModeList: {
        DataModeList list;
        if (!RecordFromProperty(data, size, list)) {
            return -1;
        }
        ClampListToProperty(list, size);
        return m_protocol.SetOutModeList(list);
    }
    case kSessionRangeList: {
        DepthRangeList list;
        if (!RecordFromProperty(data, size, list)) {
            return -1;
        }
        ClampListToProperty(list, size);
        return m_protocol.SetDepthRangeList(list);
    }
    case kSessionTalDelay: {
        TalDelay delay;
        return RecordFromProperty(data, size, delay) ? m_protocol.SetTalDelay(delay) : -1;
    }
    case kSessionDeviceSn:
        return m_protocol.SetDeviceSN(text, size);
    case kSessionMacAddress:
        return m_protocol.SetDeviceMACAddr(text, size);
    case kSessionSoftwareVersion:
        return m_protocol.SetDeviceSoftVer(text, size);
    case kSessionIpAddress:
        return m_protocol.SetDeviceIPAddr(text, size);
    case kSessionSubnetMask:
        return m_protocol.SetDeviceSubnetMask(text, size);
    case kSessionDspStatus: {
        DSPParameters params;
        return RecordFromProperty(data, size, params) ? m_protocol.SetDspStatus(params) : -1;
    }
    default:
        return kStatusNotSupported;
    }
}

int SocketProperties::GetProperty(int key, void *data, int *size)
{
    if (key == kSessionHeartbeat) {
        return m_protocol.GetHeartBeat();
    }
    if (size == nullptr) {
        TFLOG("invalid param: size is null");
        return -1;
    }
    // A list is read into a whole record and written back within the caller's size.
    auto getList = [this, data, size](auto list, int (SocketProtocol::*get)(decltype(list) &)) {
        if (!RecordFromProperty(data, *size, list)) {
            return -1;
        }
        const int ret = (m_protocol.*get)(list);
        if (ret == 0) {
            ClampListToProperty(list, *size);
            RecordToProperty(list, data, *size);
        }
        return ret;
    };
    auto *text = static_cast<char *>(data);
    switch (key) {
    case kSessionModeList:
        return getList(DataModeList{}, &SocketProtocol::GetOutModeList);
    case kSessionRangeList:
        return getList(DepthRangeList{}, &SocketProtocol::GetDepthRangeList);
    case kSessionTalDelay: {
        TalDelay delay;
        if (!RecordFromProperty(data, *size, delay)) {
            return -1;
        }
        const int ret = m_protocol.GetTalDelay(delay);
        if (ret == 0 && m_protocol.IsOpened()) {
            RecordToProperty(delay, data, *size);
        }
        return ret;
    }
    case kSessionDeviceSn:
        return m_protocol.GetDeviceSN(text, *size);
    case kSessionMacAddress:
        return m_protocol.GetDeviceMACAddr(text, *size);
    case kSessionSoftwareVersion:
        return m_protocol.GetDeviceSoftVer(text, *size);
    case kSessionIpAddress:
        return m_protocol.GetDeviceIPAddr(text, *size);
    case kSessionSubnetMask:
        return m_protocol.GetDeviceSubnetMask(text, *size);
    case kSessionDspStatus: {
        DSPParameters params;
        if (!RecordFromProperty(data, *size, params)) {
            return -1;
        }
        const int ret = m_protocol.GetDspStatus(params);
        if (ret == 0) {
            RecordToProperty(params, data, *size);
        }
        return ret;
    }
    default:
        return kStatusNotSupported;
    }
}
