// SPDX-License-Identifier: Apache-2.0
// CommandTable: the routines that run a value row, a calibration block, a text or a list.
#include "net/CommandTable.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

#include "net/ProtocolChecks.h"
#include "net/SocketCtl.h"
#include "protocol/ProtocolTypes.h"
#include "protocol/StatusCodes.h"
#include "runtime/ByteReader.h"
#include "runtime/LogCustom.h"

namespace {

constexpr int kFullPayloadBytes = 64;
constexpr int kMaxTextBytes = kFullPayloadBytes - 1;
constexpr uint8_t kCmdCalibration = 0x10;
constexpr uint8_t kCmdDeviceInfo = 0x13;

/// Where each DSP function sits in the 0x19 payload.
struct DspRow
{
    uint8_t setSelector; ///< [1] of a setting; a query adds 0x80
    uint8_t group;       ///< [2]
    uint8_t subId;       ///< [3] for functions whose enable sits at [4]; 0 for those with enable at [3]
    int enableAt;
    bool hasThreshold; ///< threshold at [5]
};

constexpr DspRow kDspRows[] = {
    {1, 1, 0, 3, false}, {1, 2, 0, 3, false}, {1, 3, 0, 3, false}, {2, 1, 2, 4, false}, {2, 1, 3, 4, false},
    {2, 1, 4, 4, true},  {2, 1, 1, 4, false}, {2, 1, 5, 4, false}, {2, 3, 1, 4, false}, {2, 2, 1, 4, false},
    {2, 1, 6, 4, false}, {2, 1, 7, 4, false}, {2, 1, 8, 4, true},
};
constexpr uint8_t kCmdDsp = 0x19;
constexpr uint32_t kDspRowCount = sizeof(kDspRows) / sizeof(kDspRows[0]);
constexpr uint32_t kDspConfigTbd = 10;
constexpr uint8_t kDspQuery = 0x80;
constexpr uint8_t kConfidenceSubId = 6;

void LogValue(const CommandRow &row, uint64_t value)
{
    char text[64] = {};
    std::snprintf(text, sizeof(text), row.format, static_cast<int>(value));
    TFLOG_AS(row.name, "%s", text);
}

std::string FormatDoubles(const double *values, int count)
{
    std::string text;
    char one[32];
    for (int i = 0; i < count; ++i) {
        std::snprintf(one, sizeof(one), i == 0 ? "%08.6f" : " %08.6f", values[i]);
        text += one;
    }
    return text;
}

} // namespace

int CommandTable::Transact(int cmd, uint8_t *payload, int cap, int len, int type) const
{
    return m_ctl.SetCmd(cmd, reinterpret_cast<char *>(payload), cap, len, type);
}

bool CommandTable::Guard(const CommandRow &row, int &result) const
{
    if (row.guard == CommandGuard::kNone || m_opened.load()) {
        return true;
    }
    TFLOG_AS(row.name, "device is not opened.");
    result = row.guard == CommandGuard::kOpenedOrFail ? kStatusNotConnected : kStatusOk;
    return false;
}

int CommandTable::Set(const CommandRow &row, uint64_t value) const
{
    if (row.log == ValueLog::kFirst) {
        LogValue(row, value);
    }
    int result = kStatusOk;
    if (!Guard(row, result)) {
        return result;
    }
    if (row.log == ValueLog::kSent) {
        LogValue(row, value);
    }
    uint8_t payload[kPayloadBytes] = {};
    ByteWriter writer(payload, sizeof(payload));
    writer.WriteLe(row.subId, row.subIdBytes);
    writer.WriteLe(value, row.width);
    const int ret = Transact(row.cmd, payload, 0, row.length, kKindSet);
    if (ret != 0) {
        TFLOG_AS(row.name, "ret:%d is failed.", ret);
    }
    return ret;
}

int CommandTable::Query(const CommandRow &row, uint64_t *value) const
{
    int result = kStatusOk;
    if (!Guard(row, result)) {
        return result;
    }
    if (value == nullptr) {
        TFLOG_AS(row.name, "invalid param: %s is null", row.param != nullptr ? row.param : "value");
        return -1;
    }
    uint8_t payload[kPayloadBytes] = {};
    ByteWriter writer(payload, sizeof(payload));
    writer.WriteLe(row.subId, row.subIdBytes);
    writer.WriteLe(row.echo ? *value : 0, row.width);
    const int ret = Transact(row.cmd, payload, row.cap, row.length, kKindGet);
    if (ret != 0) {
        TFLOG_AS(row.name, "ret:%d is failed.", ret);
        return ret;
    }
    ByteReader reader(payload, sizeof(payload));
    reader.Skip(row.subIdBytes);
    uint64_t answer = reader.ReadLe(row.width);
    if (row.isSigned && row.width > 0 && row.width < 8) {
        const uint64_t sign = uint64_t{1} << (8 * row.width - 1);
        answer = (answer ^ sign) - sign;
    }
    *value = answer;
    if (row.log == ValueLog::kAnswer) {
        LogValue(row, answer);
    }
    return 0;
}

int CommandTable::SetCalibration(const CalibrationRow &row, const double *values) const
{
    TF_RETURN_IF_NULL(values);
    int offset = 0;
    for (int part = 0; part < row.parts; ++part) {
        uint8_t payload[kPayloadBytes] = {};
        ByteWriter writer(payload, sizeof(payload));
        writer.WriteU8(row.subIds[part]);
        for (int i = 0; i < row.counts[part]; ++i) {
            writer.WriteF64Le(values[offset + i]);
        }
        const int ret = Transact(kCmdCalibration, payload, 0, static_cast<int>(writer.Size()), kKindSet);
        if (ret != 0) {
            TFLOG("%s ret:%d is failed.", row.name, ret);
            return ret;
        }
        offset += row.counts[part];
    }
    return 0;
}

int CommandTable::GetCalibration(const CalibrationRow &row, double *values) const
{
    TF_RETURN_IF_NULL(values);
    int offset = 0;
    for (int part = 0; part < row.parts; ++part) {
        uint8_t payload[kPayloadBytes] = {row.subIds[part]};
        const int ret = Transact(kCmdCalibration, payload, 1 + 8 * row.counts[part], 1, kKindGet);
        if (ret != 0) {
            TFLOG("%s ret:%d is failed.", row.name, ret);
            return ret;
        }
        ByteReader reader(payload + 1, sizeof(payload) - 1);
        for (int i = 0; i < row.counts[part]; ++i) {
            values[offset + i] = reader.ReadF64Le();
        }
        offset += row.counts[part];
    }
    TFLOG("%s:%s", row.name, FormatDoubles(values, offset).c_str());
    return 0;
}

int CommandTable::SetInfoString(int cmd, uint8_t subId, const char *text, int length) const
{
    if (text == nullptr || length < 0) {
        TFLOG("invalid param: len:%d", length);
        return -1;
    }
    // The sub-id and at most 63 text bytes fill the 64-byte payload.
    const int textBytes = std::min(length, kMaxTextBytes);
    uint8_t payload[kPayloadBytes] = {};
    ByteWriter writer(payload, sizeof(payload));
    writer.WriteU8(subId);
    writer.WriteBytes(text, static_cast<size_t>(textBytes));
    TF_RETURN_IF_FAILED(Transact(cmd, payload, 0, 1 + textBytes, kKindSet));
    return 0;
}

int CommandTable::GetInfoString(int cmd, uint8_t subId, char *text, int length) const
{
    if (text == nullptr || length <= 0) {
        TFLOG("invalid param: len:%d", length);
        return -1;
    }
    // Reply data are at most 255 bytes, the first of them the echoed sub-id.
    const int cap = std::min(length + 1, kPayloadBytes - 1);
    uint8_t payload[kPayloadBytes] = {subId};
    TF_RETURN_IF_FAILED(Transact(cmd, payload, cap, 1, kKindGet));
    std::memset(text, 0, static_cast<size_t>(length));
    std::memcpy(text, payload + 1, static_cast<size_t>(cap - 1));
    return 0;
}

int CommandTable::SetList(uint8_t subId, uint8_t count, const uint8_t *entries) const
{
    if (count > kMaxListEntries) {
        TFLOG("list count:%d is cut to %d", count, kMaxListEntries);
        count = kMaxListEntries;
    }
    uint8_t payload[kPayloadBytes] = {};
    ByteWriter writer(payload, sizeof(payload));
    writer.WriteU8(subId);
    writer.WriteU8(count);
    writer.WriteBytes(entries, count);
    TF_RETURN_IF_FAILED(Transact(kCmdDeviceInfo, payload, 0, kFullPayloadBytes, kKindSet));
    return 0;
}

int CommandTable::GetList(uint8_t subId, uint8_t &count, uint8_t *entries) const
{
    uint8_t payload[kPayloadBytes] = {subId};
    TF_RETURN_IF_FAILED(Transact(kCmdDeviceInfo, payload, kFullPayloadBytes, 1, kKindGet));
    ByteReader reader(payload, kFullPayloadBytes);
    const uint8_t echoed = reader.ReadU8();
    if (echoed != subId) {
        TFLOG("buf[0]:%d", echoed);
        return -1;
    }
    count = reader.ReadU8();
    if (count > kMaxListEntries) {
        TFLOG("list count:%d is cut to %d", count, kMaxListEntries);
        count = kMaxListEntries;
    }
    reader.ReadBytes(entries, count);
    return 0;
}

int CommandTable::SetDspStatus(const DSPParameters &params) const
{
    TFLOG("option:%d  DSPConfig:%d  enable:%d threshold:%d", params.option, static_cast<int>(params.config),
          params.enable, params.threshold);
    uint8_t payload[kPayloadBytes] = {params.option};
    if (params.config < kDspRowCount) {
        const DspRow &row = kDspRows[params.config];
        if (params.config == kDspConfigTbd) {
            TFLOG("TBD");
        }
        payload[1] = row.setSelector;
        payload[2] = row.group;
        if (row.enableAt == 4) {
            payload[3] = row.subId;
        }
        payload[row.enableAt] = params.enable;
        if (row.hasThreshold) {
            payload[5] = params.threshold;
        }
    } else {
        TFLOG("type:%d is invalid.", static_cast<int>(params.config));
    }
    TF_RETURN_IF_FAILED(Transact(kCmdDsp, payload, 0, kFullPayloadBytes, kKindSet));
    return 0;
}

int CommandTable::GetDspStatus(DSPParameters &params) const
{
    uint8_t payload[kPayloadBytes] = {params.option};
    const bool known = params.config < kDspRowCount;
    if (known) {
        const DspRow &row = kDspRows[params.config];
        payload[1] = static_cast<uint8_t>(row.setSelector | kDspQuery);
        payload[2] = row.group;
        if (row.enableAt == 4) {
            payload[3] = row.subId;
        }
    }
    TF_RETURN_IF_FAILED(Transact(kCmdDsp, payload, kFullPayloadBytes, kFullPayloadBytes, kKindGet));
    if (known) {
        const DspRow &row = kDspRows[params.config];
        params.enable = payload[row.enableAt];
        if (row.hasThreshold) {
            params.threshold = payload[5];
        }
    }
    TFLOG("option:%d  DSPConfig:%d  enable:%d threshold:%d", params.option, static_cast<int>(params.config),
          params.enable, params.threshold);
    return 0;
}

int CommandTable::SetConfidenceFilterParams(const ConfidenceFilterParams &params) const
{
    TFLOG("params:%d %d %d", params.enable, static_cast<int>(params.threshold),
          static_cast<int>(params.value));
    uint8_t payload[kPayloadBytes] = {};
    ByteWriter writer(payload, sizeof(payload));
    const uint8_t head[] = {0, 2, 1, kConfidenceSubId, params.enable};
    writer.WriteBytes(head, sizeof(head));
    writer.WriteU16Le(static_cast<uint16_t>(params.threshold));
    writer.WriteU16Le(static_cast<uint16_t>(params.value));
    TF_RETURN_IF_FAILED(Transact(kCmdDsp, payload, 0, kFullPayloadBytes, kKindSet));
    return 0;
}

int CommandTable::GetConfidenceFilterParams(ConfidenceFilterParams &params) const
{
    uint8_t payload[kPayloadBytes] = {0, 2 | kDspQuery, 1, kConfidenceSubId};
    TF_RETURN_IF_FAILED(Transact(kCmdDsp, payload, kFullPayloadBytes, kFullPayloadBytes, kKindGet));
    if (payload[3] != kConfidenceSubId) {
        return 0;
    }
    ByteReader reader(payload + 5, 4);
    params.enable = static_cast<uint8_t>(payload[4] != 0);
    params.reserved = 0;
    params.threshold = reader.ReadU16Le();
    params.value = reader.ReadU16Le();
    TFLOG("params:%d %d %d", params.enable, static_cast<int>(params.threshold),
          static_cast<int>(params.value));
    return 0;
}
