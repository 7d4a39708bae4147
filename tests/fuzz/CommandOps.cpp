// SPDX-License-Identifier: Apache-2.0
// The command fuzz target's operations: every query of the protocol, the bare transaction and the stream
// read, each with an output buffer of exactly its size so that a write past it is caught.
#include "CommandOps.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <vector>

#include "FuzzInput.h"
#include "net/SocketProtocol.h"

namespace {

/// Runs a query into a fresh heap record: a `Kept` one, filled with 0xA5, must leave it so when it fails
/// (the others start from zeros and promise nothing after a failure).
template <typename Record, bool Kept = false, typename Query> int Into(Query query)
{
    auto record = std::make_unique<Record>();
    if (Kept) {
        std::memset(record.get(), 0xA5, sizeof(Record));
    }
    const int ret = query(*record);
    if (Kept && ret != 0) {
        const std::vector<uint8_t> expected(sizeof(Record), 0xA5);
        Require(std::memcmp(record.get(), expected.data(), sizeof(Record)) == 0);
    }
    return ret;
}

/// A text query into exactly `length` bytes (1 to 64 from the argument).
int Text(int (SocketProtocol::*query)(char *, int), SocketProtocol &p, uint8_t arg)
{
    const int length = 1 + arg % 64;
    std::vector<char> text(static_cast<size_t>(length), 'x');
    const int ret = (p.*query)(text.data(), length);
    if (ret != 0) {
        Require(std::all_of(text.begin(), text.end(), [](char c) { return c == 'x'; }));
    }
    return ret;
}

/// A list query: a count within the list's room on success.
template <typename List> int ListQuery(int (SocketProtocol::*query)(List &), SocketProtocol &p)
{
    auto list = std::make_unique<List>();
    const int ret = (p.*query)(*list);
    if (ret == 0) {
        Require(list->count <= kMaxListEntries);
    }
    return ret;
}

int RegisterValues(SocketProtocol &p, uint8_t arg)
{
    const uint8_t count = arg % 5;
    std::vector<uint16_t> regs(count + 1u, 0x1234);
    std::vector<uint16_t> values(count + 1u, 0);
    return p.GetRegVal(regs.data(), values.data(), count);
}

/// The bare transaction: a request of `len` bytes and a reply of at most `cap`, in one buffer of the
/// larger size.
int Bare(SocketProtocol &p, uint8_t arg)
{
    const int cap = arg & 0x7F;
    const int len = (arg >> 4) * 5;
    std::vector<char> buf(static_cast<size_t>(std::max({cap, len, 1})), 0);
    return p.SetCmd(0x10 + (arg & 0x0F), buf.data(), cap, static_cast<unsigned char>(len), kKindGet);
}

/// One stream buffer into a buffer of 0 to 4080 bytes: a length within it, or refused.
int Stream(SocketProtocol &p, uint8_t arg)
{
    const int capacity = arg * 16;
    std::vector<unsigned char> buf(static_cast<size_t>(capacity));
    int len = -7;
    const int ret = p.ReadData(buf.data(), &len, capacity);
    Require(ret >= -1 && ret <= 1);
    Require(ret != 1 || (len >= 0 && len <= capacity));
    return ret;
}

using P = SocketProtocol;
using D3 = std::array<double, 3>;
using D8 = std::array<double, 8>;
using D9 = std::array<double, 9>;
SensorType Sensor(uint8_t arg)
{
    return (arg & 1) != 0 ? kSensorColor : kSensorTof;
}

} // namespace

// clang-format off
const CommandOp kCommandOps[] = {
    {"GetTofFrameRate", [](P &p, uint8_t) { return Into<uint8_t, true>([&](uint8_t &v) { return p.GetTofFrameRate(&v); }); }},
    {"GetSlaveMode", [](P &p, uint8_t) { return Into<uint8_t, true>([&](uint8_t &v) { return p.GetSlaveMode(&v); }); }},
    {"GetDataMode", [](P &p, uint8_t) { return Into<uint8_t, true>([&](uint8_t &v) { return p.GetDataMode(&v); }); }},
    {"GetDepthMode", [](P &p, uint8_t) { return Into<uint8_t>([&](uint8_t &v) { return p.GetDepthMode(&v); }); }},
    {"GetGMMGain", [](P &p, uint8_t) { return Into<uint8_t, true>([&](uint8_t &v) { return p.GetGMMGain(&v); }); }},
    {"GetDepthRange", [](P &p, uint8_t) { return Into<DepthRange>([&](DepthRange &v) { return p.GetDepthRange(v); }); }},
    {"GetDualFreqMode", [](P &p, uint8_t) { return Into<DualFreqMode>([&](DualFreqMode &v) { return p.GetDualFreqMode(&v); }); }},
    {"GetMeasuringStatus", [](P &p, uint8_t) { return Into<MeasuringStatusGet>([&](MeasuringStatusGet &v) { return p.GetMeasuringStatus(&v); }); }},
    {"GetMeasuringRange", [](P &p, uint8_t a) { return Into<MeasuringRange>([&](MeasuringRange &v) { v.mode = a % 8; return p.GetMeasuringRange(v); }); }},
    {"GetRegVal", [](P &p, uint8_t) { return Into<uint16_t>([&](uint16_t &v) { return p.GetRegVal(0x0102, &v); }); }},
    {"GetRegVals", RegisterValues},
    {"GetPulseCount", [](P &p, uint8_t) { return Into<PulseCountGet>([&](PulseCountGet &v) { return p.GetPulseCount(v); }); }},
    {"GetLDEnable", [](P &p, uint8_t) { return Into<LDEnable>([&](LDEnable &v) { return p.GetLDEnable(v); }); }},
    {"GetExposureTime", [](P &p, uint8_t a) { return Into<ExposureTime>([&](ExposureTime &v) { v.index = a % 3; return p.GetExposureTime(&v); }); }},
    {"GetWorkMode", [](P &p, uint8_t) { return Into<WorkMode>([&](WorkMode &v) { return p.GetWorkMode(&v); }); }},
    {"GetLens", [](P &p, uint8_t a) { return Into<LensConfig>([&](LensConfig &v) { v.type = a % 3; return p.GetLens(v); }); }},
    // Calibration rows: 3 to 9 doubles, the exact count the row reads.
    {"GetCameraIntrinsic", [](P &p, uint8_t a) { return Into<D9>([&](D9 &v) { return p.GetCameraIntrinsic(Sensor(a), v.data()); }); }},
    {"GetCameraDistortion", [](P &p, uint8_t a) { return Into<D8>([&](D8 &v) { return p.GetCameraDistortion(Sensor(a), v.data()); }); }},
    {"GetCameraRotation", [](P &p, uint8_t) { return Into<D9>([&](D9 &v) { return p.GetCameraRotation(v.data()); }); }},
    {"GetCameraTransfer", [](P &p, uint8_t) { return Into<D3>([&](D3 &v) { return p.GetCameraTransfer(v.data()); }); }},
    {"GetCameraE", [](P &p, uint8_t) { return Into<D9>([&](D9 &v) { return p.GetCameraE(v.data()); }); }},
    {"GetCameraF", [](P &p, uint8_t) { return Into<D9>([&](D9 &v) { return p.GetCameraF(v.data()); }); }},
    {"GetPCBA", [](P &p, uint8_t a) { return Text(&P::GetPCBA, p, a); }},
    {"GetSN", [](P &p, uint8_t a) { return Text(&P::GetSN, p, a); }},
    {"GetFWVer", [](P &p, uint8_t a) { return Text(&P::GetFWVer, p, a); }},
    {"GetHWVer", [](P &p, uint8_t a) { return Text(&P::GetHWVer, p, a); }},
    {"GetFlashType", [](P &p, uint8_t a) { return Text(&P::GetFlashType, p, a); }},
    {"GetAlias", [](P &p, uint8_t a) { return Text(&P::GetAlias, p, a); }},
    {"GetDeviceSN", [](P &p, uint8_t a) { return Text(&P::GetDeviceSN, p, a); }},
    {"GetDeviceMACAddr", [](P &p, uint8_t a) { return Text(&P::GetDeviceMACAddr, p, a); }},
    {"GetDeviceSoftVer", [](P &p, uint8_t a) { return Text(&P::GetDeviceSoftVer, p, a); }},
    {"GetDeviceIPAddr", [](P &p, uint8_t a) { return Text(&P::GetDeviceIPAddr, p, a); }},
    {"GetDeviceSubnetMask", [](P &p, uint8_t a) { return Text(&P::GetDeviceSubnetMask, p, a); }},
    {"GetACCSensitivity", [](P &p, uint8_t) { return Into<IMUSensitivity>([&](IMUSensitivity &v) { return p.GetACCSensitivity(v); }); }},
    {"GetACCOffset", [](P &p, uint8_t) { return Into<IMUOffset>([&](IMUOffset &v) { return p.GetACCOffset(v); }); }},
    {"GetACCOffsetTemp", [](P &p, uint8_t) { return Into<IMUOffsetTemp>([&](IMUOffsetTemp &v) { return p.GetACCOffsetTemp(v); }); }},
    {"GetGyroSensitivity", [](P &p, uint8_t) { return Into<IMUSensitivity>([&](IMUSensitivity &v) { return p.GetGyroSensitivity(v); }); }},
    {"GetGyroOffset", [](P &p, uint8_t) { return Into<IMUOffset>([&](IMUOffset &v) { return p.GetGyroOffset(v); }); }},
    {"GetGyroOffsetTemp", [](P &p, uint8_t) { return Into<IMUOffsetTemp>([&](IMUOffsetTemp &v) { return p.GetGyroOffsetTemp(v); }); }},
    {"GetImuDataMode", [](P &p, uint8_t) { return Into<IMUDataMode>([&](IMUDataMode &v) { return p.GetImuDataMode(v); }); }},
    {"GetUpgradeIsSupported", [](P &p, uint8_t) { return Into<uint8_t>([&](uint8_t &v) { return p.GetUpgradeIsSupported(v); }); }},
    {"GetJsonIsSupported", [](P &p, uint8_t) { return Into<uint8_t>([&](uint8_t &v) { return p.GetJsonIsSupported(v); }); }},
    {"GetUpgradeState", [](P &p, uint8_t) { return Into<UpgradeState>([&](UpgradeState &v) { return p.GetUpgradeState(v); }); }},
    {"GetJsonState", [](P &p, uint8_t) { return Into<JsonState>([&](JsonState &v) { return p.GetJsonState(v); }); }},
    {"IsSupportJSONConfig", [](P &p, uint8_t) { return p.IsSupportJSONConfig(); }},
    {"GetDspStatus", [](P &p, uint8_t a) { return Into<DSPParameters>([&](DSPParameters &v) { v.config = a % 16; return p.GetDspStatus(v); }); }},
    {"GetConfidenceFilterParams", [](P &p, uint8_t) { return Into<ConfidenceFilterParams>([&](ConfidenceFilterParams &v) { return p.GetConfidenceFilterParams(v); }); }},
    {"GetOutModeList", [](P &p, uint8_t) { return ListQuery<DataModeList>(&P::GetOutModeList, p); }},
    {"GetDepthRangeList", [](P &p, uint8_t) { return ListQuery<DepthRangeList>(&P::GetDepthRangeList, p); }},
    {"GetTalDelay", [](P &p, uint8_t) { return Into<TalDelay>([&](TalDelay &v) { return p.GetTalDelay(v); }); }},
    {"GetHeartBeat", [](P &p, uint8_t) { return p.GetHeartBeat(); }},
    {"SetCmd", Bare},
    {"ReadData", Stream},
};
// clang-format on
const size_t kCommandOpCount = sizeof(kCommandOps) / sizeof(kCommandOps[0]);
