// SPDX-License-Identifier: Apache-2.0
// The camera's command set: settings applied to the model and queries answered from it.
#include "SimCommandSet.h"

#include "runtime/ByteReader.h"
#include "runtime/LogCustom.h"

#include <algorithm>
#include <cstring>

namespace {

namespace id {
constexpr uint8_t kCameraParams = 0x01;
constexpr uint8_t kSlaveMode = 0x02;
constexpr uint8_t kExposure = 0x03;
constexpr uint8_t kFrameRate = 0x04;
constexpr uint8_t kRegister = 0x05;
constexpr uint8_t kDataMode = 0x06;
constexpr uint8_t kDepthRange = 0x07;
constexpr uint8_t kDualFreq = 0x08;
constexpr uint8_t kCalibration = 0x10;
constexpr uint8_t kMeasuringRange = 0x11;
constexpr uint8_t kWorkMode = 0x12;
constexpr uint8_t kDeviceString = 0x13;
constexpr uint8_t kLens = 0x15;
constexpr uint8_t kNetworkIdentity = 0x18;
constexpr uint8_t kDsp = 0x19;
constexpr uint8_t kStream = 0x1B;
constexpr uint8_t kHeartbeat = 0x1C;
constexpr uint8_t kUpgrade = 0x1D;
constexpr uint8_t kTestMode = 0x1E;
constexpr uint8_t kSlaveTrigger = 0x1F;
} // namespace id

constexpr uint8_t kSlaveEnableSubId = 8;
constexpr uint8_t kGmmGainSubId = 4;
constexpr uint8_t kLowPowerMode = 0x20;
constexpr uint8_t kRebootMode = 8;
constexpr uint8_t kNetworkQueryOffset = 0x10;
constexpr uint8_t kJsonConfigSubId = 0x17;
constexpr size_t kListReplyBytes = 64;
constexpr size_t kDspReplyBytes = 64;

namespace sub {
constexpr uint8_t kPcba = 1;
constexpr uint8_t kSerial = 2;
constexpr uint8_t kFirmware = 3;
constexpr uint8_t kHardware = 4;
constexpr uint8_t kDepthRanges = 6;
constexpr uint8_t kDataModes = 7;
constexpr uint8_t kAlias = 23;
constexpr uint8_t kDeviceSerial = 2;
constexpr uint8_t kMac = 3;
constexpr uint8_t kSoftVersion = 4;
constexpr uint8_t kIp = 5;
constexpr uint8_t kMask = 6;
constexpr uint8_t kUpgradeSupported = 2;
constexpr uint8_t kJson = 3;
constexpr uint8_t kJsonSupported = 1;
constexpr uint8_t kDspSwitch = 1;
constexpr uint8_t kDspFunction = 2;
} // namespace sub

/// One calibration sub-id: which matrix, from which element, how many doubles.
template <typename Settings> struct CalibrationSlot
{
    decltype(&std::declval<Settings &>().rotation[0]) first = nullptr;
    size_t count = 0;
};

template <typename Settings> CalibrationSlot<Settings> FindCalibration(Settings &s, uint8_t subId)
{
    switch (subId) {
    case 0:
        return {&s.tofIntrinsic[0], 4};
    case 1:
        return {&s.tofIntrinsic[4], 5};
    case 2:
        return {&s.tofDistortion[0], 4};
    case 3:
        return {&s.tofDistortion[4], 4};
    case 4:
        return {&s.colorIntrinsic[0], 4};
    case 5:
        return {&s.colorIntrinsic[4], 5};
    case 6:
        return {&s.colorDistortion[0], 4};
    case 7:
        return {&s.colorDistortion[4], 4};
    case 8:
        return {&s.rotation[0], 4};
    case 9:
        return {&s.rotation[4], 5};
    case 10:
        return {&s.translationMm[0], 3};
    case 11:
        return {&s.essential[0], 4};
    case 12:
        return {&s.essential[4], 5};
    case 13:
        return {&s.fundamental[0], 4};
    case 14:
        return {&s.fundamental[4], 5};
    default:
        return {};
    }
}

/// The settings string behind a device-string sub-id, or nullptr.
template <typename Settings> auto DeviceString(Settings &s, uint8_t subId) -> decltype(&s.pcba)
{
    switch (subId) {
    case sub::kPcba:
        return &s.pcba;
    case sub::kSerial:
        return &s.serial;
    case sub::kFirmware:
        return &s.firmwareVersion;
    case sub::kHardware:
        return &s.hardwareVersion;
    case sub::kAlias:
        return &s.alias;
    default:
        return nullptr;
    }
}

/// The settings string behind a network-identity set sub-id, or nullptr.
template <typename Settings> auto NetworkString(Settings &s, uint8_t subId) -> decltype(&s.pcba)
{
    switch (subId) {
    case sub::kDeviceSerial:
        return &s.deviceSerial;
    case sub::kMac:
        return &s.macAddress;
    case sub::kSoftVersion:
        return &s.softwareVersion;
    case sub::kIp:
        return &s.ipAddress;
    case sub::kMask:
        return &s.subnetMask;
    default:
        return nullptr;
    }
}

template <typename Settings> auto List(Settings &s, uint8_t subId) -> decltype(&s.dataModes)
{
    switch (subId) {
    case sub::kDepthRanges:
        return &s.depthRanges;
    case sub::kDataModes:
        return &s.dataModes;
    default:
        return nullptr;
    }
}

uint8_t At(const std::vector<uint8_t> &payload, size_t index)
{
    return index < payload.size() ? payload[index] : 0;
}

uint16_t U16At(const std::vector<uint8_t> &payload, size_t index)
{
    return static_cast<uint16_t>(At(payload, index) | (At(payload, index + 1) << 8));
}

uint32_t U32At(const std::vector<uint8_t> &payload, size_t index)
{
    return static_cast<uint32_t>(U16At(payload, index)) |
           (static_cast<uint32_t>(U16At(payload, index + 2)) << 16);
}

/// The text in payload[first..]: up to the first NUL, at most the string limit.
std::string TextFrom(const std::vector<uint8_t> &payload, size_t first)
{
    std::string text;
    for (size_t i = first; i < payload.size() && payload[i] != 0; ++i) {
        text += static_cast<char>(payload[i]);
    }
    if (text.size() > SimSettings::kMaxStringBytes) {
        text.resize(SimSettings::kMaxStringBytes);
    }
    return text;
}

std::vector<uint8_t> StringReply(uint8_t subId, const std::string &text)
{
    ByteWriter writer;
    writer.WriteU8(subId);
    writer.WriteBytes(text.data(), std::min(text.size(), SimSettings::kMaxStringBytes));
    writer.WriteU8(0);
    return writer.Bytes();
}

void WriteDouble(ByteWriter &writer, double value)
{
    uint64_t bits = 0;
    static_assert(sizeof bits == sizeof value, "doubles are 64 bits");
    std::memcpy(&bits, &value, sizeof bits);
    writer.WriteU64Le(bits);
}

double ReadDouble(ByteReader &reader)
{
    const uint64_t bits = reader.ReadU64Le();
    double value = 0;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

std::vector<uint8_t> Sized(std::vector<uint8_t> bytes, size_t size)
{
    bytes.resize(size, 0);
    return bytes;
}

bool Refuse(uint8_t id, const char *why)
{
    TFLOG("setting 0x%02X refused: %s", id, why);
    return false;
}

bool ApplyCalibration(SimSettings &s, const std::vector<uint8_t> &payload)
{
    const uint8_t subId = At(payload, 0);
    const CalibrationSlot<SimSettings> slot = FindCalibration(s, subId);
    if (slot.first == nullptr) {
        return Refuse(id::kCalibration, "unknown calibration sub-id");
    }
    if (payload.size() < 1 + 8 * slot.count) {
        return Refuse(id::kCalibration, "too few doubles for the sub-id");
    }
    ByteReader reader(payload.data() + 1, payload.size() - 1);
    for (size_t i = 0; i < slot.count; ++i) {
        slot.first[i] = ReadDouble(reader);
    }
    return true;
}

bool ApplyDeviceString(SimSettings &s, const std::vector<uint8_t> &payload)
{
    const uint8_t subId = At(payload, 0);
    if (std::vector<uint8_t> *list = List(s, subId)) {
        const size_t count = At(payload, 1);
        if (count > SimSettings::kMaxListEntries || payload.size() < 2 + count) {
            return Refuse(id::kDeviceString, "list count larger than its payload");
        }
        list->assign(payload.begin() + 2, payload.begin() + 2 + static_cast<std::ptrdiff_t>(count));
        return true;
    }
    if (std::string *text = DeviceString(s, subId)) {
        *text = TextFrom(payload, 1);
        return true;
    }
    return Refuse(id::kDeviceString, "unknown device-string sub-id");
}

bool ApplyDsp(SimSettings &s, const std::vector<uint8_t> &payload)
{
    const uint8_t kind = At(payload, 1);
    const uint8_t group = At(payload, 2);
    if (kind == sub::kDspSwitch) {
        s.dspSwitches[group] = At(payload, 3);
        return true;
    }
    if (kind == sub::kDspFunction) {
        s.dspFunctions[{group, At(payload, 3)}] =
            SimDspFunction{At(payload, 4), U16At(payload, 5), U16At(payload, 7)};
        return true;
    }
    return Refuse(id::kDsp, "unknown DSP request kind");
}

/// The support queries; the camera's upgrade and transfer models answer the rest of 0x1D.
std::vector<uint8_t> AnswerUpgrade(const SimSettings &s, const std::vector<uint8_t> &payload)
{
    const uint8_t target = At(payload, 0);
    const uint8_t kind = At(payload, 1);
    if (target == sub::kUpgradeSupported) {
        return {target, kind, static_cast<uint8_t>(s.upgradeSupported)};
    }
    if (target == sub::kJson && kind == sub::kJsonSupported) {
        return {target, kind, static_cast<uint8_t>(s.jsonSupported)};
    }
    TFLOG("query 0x9D [0]=%u [1]=%u is not modelled; echoing it", target, kind);
    return payload;
}

std::vector<uint8_t> AnswerDsp(const SimSettings &s, const std::vector<uint8_t> &payload)
{
    const uint8_t option = At(payload, 0);
    const uint8_t kind = At(payload, 1);
    const uint8_t group = At(payload, 2);
    if (kind == (sub::kDspSwitch | SimCommandSet::kQueryBit)) {
        const auto found = s.dspSwitches.find(group);
        const uint8_t enable = found == s.dspSwitches.end() ? 0 : found->second;
        return Sized({option, kind, group, enable}, kDspReplyBytes);
    }
    if (kind == (sub::kDspFunction | SimCommandSet::kQueryBit)) {
        const uint8_t subId = At(payload, 3);
        const auto found = s.dspFunctions.find({group, subId});
        const SimDspFunction f = found == s.dspFunctions.end() ? SimDspFunction{} : found->second;
        ByteWriter writer;
        writer.WriteU8(option);
        writer.WriteU8(kind);
        writer.WriteU8(group);
        writer.WriteU8(subId);
        writer.WriteU8(f.enable);
        writer.WriteU16Le(f.threshold);
        writer.WriteU16Le(f.value);
        return Sized(writer.Bytes(), kDspReplyBytes);
    }
    TFLOG("DSP query kind 0x%02X is not modelled; echoing it", kind);
    return payload;
}

std::vector<uint8_t> AnswerNetworkIdentity(const SimSettings &s, const std::vector<uint8_t> &payload)
{
    const uint8_t subId = At(payload, 0);
    if (subId == kJsonConfigSubId) {
        return {subId, static_cast<uint8_t>(s.jsonConfigSupported)};
    }
    if (subId > kNetworkQueryOffset) {
        if (const std::string *text = NetworkString(s, static_cast<uint8_t>(subId - kNetworkQueryOffset))) {
            return StringReply(subId, *text);
        }
    }
    TFLOG("network identity query sub-id 0x%02X is not modelled; echoing it", subId);
    return payload;
}

std::vector<uint8_t> AnswerDeviceString(const SimSettings &s, const std::vector<uint8_t> &payload)
{
    const uint8_t subId = At(payload, 0);
    if (const std::vector<uint8_t> *list = List(s, subId)) {
        const size_t count = std::min(list->size(), SimSettings::kMaxListEntries);
        ByteWriter writer;
        writer.WriteU8(subId);
        writer.WriteU8(static_cast<uint8_t>(count));
        writer.WriteBytes(list->data(), count);
        return Sized(writer.Bytes(), kListReplyBytes);
    }
    if (const std::string *text = DeviceString(s, subId)) {
        return StringReply(subId, *text);
    }
    TFLOG("device string sub-id %u is not modelled; echoing it", subId);
    return payload;
}

std::vector<uint8_t> AnswerCalibration(const SimSettings &s, const std::vector<uint8_t> &payload)
{
    const uint8_t subId = At(payload, 0);
    const CalibrationSlot<const SimSettings> slot = FindCalibration(s, subId);
    if (slot.first == nullptr) {
        TFLOG("calibration sub-id %u is not modelled; echoing it", subId);
        return payload;
    }
    ByteWriter writer;
    writer.WriteU8(subId);
    for (size_t i = 0; i < slot.count; ++i) {
        WriteDouble(writer, slot.first[i]);
    }
    return writer.Bytes();
}

bool ApplySlaveMode(SimSettings &s, const std::vector<uint8_t> &payload)
{
    const uint8_t b0 = At(payload, 0);
    if (b0 == kSlaveEnableSubId) {
        s.slaveModeEnabled = At(payload, 1) != 0;
    } else if (b0 < 3) {
        s.slaveMode = b0;
    } else {
        return Refuse(id::kSlaveMode, "slave mode above 2");
    }
    return true;
}

bool ApplyLens(SimSettings &s, const std::vector<uint8_t> &payload)
{
    const uint8_t b0 = At(payload, 0);
    if (b0 == kGmmGainSubId) {
        s.gmmGain = At(payload, 1);
        return true;
    }
    if (payload.size() < 8) {
        return Refuse(id::kLens, "a lens record has 8 bytes");
    }
    s.lenses[b0] = SimLensConfig{
        b0, At(payload, 1), U16At(payload, 2), U16At(payload, 4), At(payload, 6), At(payload, 7)};
    return true;
}

void ApplyWorkMode(SimSettings &s, const std::vector<uint8_t> &payload)
{
    const uint8_t b0 = At(payload, 0);
    if (b0 == kRebootMode) {
        ++s.rebootCount;
    } else if (b0 == kLowPowerMode) {
        // Low power is a state on top of the work mode: the third flag 0 enters it, 1 leaves it, and
        // the status shows it as bit 0x20 of the mode.
        const bool enter = At(payload, 3) == 0;
        s.workMode.mode = static_cast<uint8_t>(enter ? (s.workMode.mode | kLowPowerMode)
                                                     : (s.workMode.mode & ~kLowPowerMode));
    } else {
        s.workMode = SimWorkMode{b0, At(payload, 1), At(payload, 2), At(payload, 3), At(payload, 4)};
    }
}

std::vector<uint8_t> AnswerLens(const SimSettings &s, uint8_t lensType)
{
    if (lensType == kGmmGainSubId) {
        return {kGmmGainSubId, s.gmmGain};
    }
    const auto found = s.lenses.find(lensType);
    const SimLensConfig lens =
        found == s.lenses.end() ? SimLensConfig{lensType, 0, 0, 0, 0, 0} : found->second;
    ByteWriter writer;
    writer.WriteU8(lens.type);
    writer.WriteU8(lens.state);
    writer.WriteU16Le(lens.width);
    writer.WriteU16Le(lens.height);
    writer.WriteU8(lens.fps);
    writer.WriteU8(lens.encodeType);
    return writer.Bytes();
}

std::vector<uint8_t> AnswerMeasuringRange(const SimSettings &s, uint8_t range)
{
    const auto found = s.measuringRanges.find(range);
    const SimMeasuringRange r = found == s.measuringRanges.end() ? SimMeasuringRange{} : found->second;
    ByteWriter writer;
    writer.WriteU8(range);
    writer.WriteU16Le(r.range0);
    writer.WriteU16Le(r.range1);
    writer.WriteU16Le(r.range2);
    return writer.Bytes();
}

} // namespace

bool SimCommandSet::ApplySetting(SimSettings &s, uint8_t commandId, const std::vector<uint8_t> &payload)
{
    const uint8_t b0 = At(payload, 0);
    switch (commandId) {
    case id::kStream:
        s.streaming = b0 != 0;
        return true;
    case id::kFrameRate:
        s.frameRate = b0;
        return true;
    case id::kDataMode:
        s.dataMode = b0;
        return true;
    case id::kDepthRange:
        s.depthRange = b0;
        return true;
    case id::kSlaveMode:
        return ApplySlaveMode(s, payload);
    case id::kSlaveTrigger:
        ++s.slaveTriggers;
        return true;
    case id::kLens:
        return ApplyLens(s, payload);
    case id::kDualFreq:
        s.dualFreqCount = b0;
        for (size_t i = 0; i < 3; ++i) {
            s.dualFreqValues[i] = static_cast<int8_t>(At(payload, 1 + i));
        }
        return true;
    case id::kExposure:
        s.exposureUs[b0] = U32At(payload, 1);
        return true;
    case id::kMeasuringRange:
        s.measuringRanges[b0] = SimMeasuringRange{U16At(payload, 1), U16At(payload, 3), U16At(payload, 5)};
        return true;
    case id::kWorkMode:
        ApplyWorkMode(s, payload);
        return true;
    case id::kTestMode:
        s.testModeType = b0;
        for (size_t i = 0; i < s.testModeParams.size(); ++i) {
            s.testModeParams[i] = At(payload, 1 + i);
        }
        return true;
    case id::kCameraParams:
        s.cameraParamsEnabled = b0 != 0;
        return true;
    case id::kRegister:
        s.registers[U16At(payload, 0)] = U16At(payload, 2);
        return true;
    case id::kCalibration:
        return ApplyCalibration(s, payload);
    case id::kDeviceString:
        return ApplyDeviceString(s, payload);
    case id::kNetworkIdentity:
        if (std::string *text = NetworkString(s, b0)) {
            *text = TextFrom(payload, 1);
            return true;
        }
        return Refuse(commandId, "unknown network identity sub-id");
    case id::kDsp:
        return ApplyDsp(s, payload);
    default:
        return Refuse(commandId, "unknown command");
    }
}

std::vector<uint8_t> SimCommandSet::AnswerQuery(const SimSettings &s, uint8_t command,
                                                const std::vector<uint8_t> &payload)
{
    const uint8_t commandId = command & static_cast<uint8_t>(~kQueryBit);
    const uint8_t b0 = At(payload, 0);
    switch (commandId) {
    case id::kHeartbeat:
        return {1};
    case id::kStream:
        return {static_cast<uint8_t>(s.streaming)};
    case id::kFrameRate:
        return {s.frameRate};
    case id::kDataMode:
        return {s.dataMode};
    case id::kDepthRange:
        return {s.depthRange};
    case id::kSlaveMode:
        return {s.slaveMode};
    case id::kSlaveTrigger: {
        ByteWriter writer;
        writer.WriteU32Le(s.slaveTriggers);
        return writer.Bytes();
    }
    case id::kLens:
        return AnswerLens(s, b0);
    case id::kDualFreq:
        return {s.dualFreqCount, static_cast<uint8_t>(s.dualFreqValues[0]),
                static_cast<uint8_t>(s.dualFreqValues[1]), static_cast<uint8_t>(s.dualFreqValues[2])};
    case id::kExposure: {
        const auto found = s.exposureUs.find(b0);
        ByteWriter writer;
        writer.WriteU8(b0);
        writer.WriteU32Le(found == s.exposureUs.end() ? 0 : found->second);
        return writer.Bytes();
    }
    case id::kMeasuringRange:
        return AnswerMeasuringRange(s, b0);
    case id::kWorkMode: {
        const SimWorkMode &w = s.workMode;
        return {w.mode, w.flag1, w.flag2, w.flag3, w.option};
    }
    case id::kTestMode:
        return {s.testModeType, s.testModeParams[0], s.testModeParams[1], s.testModeParams[2],
                s.testModeParams[3]};
    case id::kCameraParams:
        return {static_cast<uint8_t>(s.cameraParamsEnabled)};
    case id::kRegister: {
        const uint16_t reg = U16At(payload, 0);
        const auto found = s.registers.find(reg);
        ByteWriter writer;
        writer.WriteU16Le(reg);
        writer.WriteU16Le(found == s.registers.end() ? 0 : found->second);
        return Sized(writer.Bytes(), 8);
    }
    case id::kCalibration:
        return AnswerCalibration(s, payload);
    case id::kDeviceString:
        return AnswerDeviceString(s, payload);
    case id::kNetworkIdentity:
        return AnswerNetworkIdentity(s, payload);
    case id::kDsp:
        return AnswerDsp(s, payload);
    case id::kUpgrade:
        return AnswerUpgrade(s, payload);
    default:
        TFLOG("query 0x%02X is not modelled; echoing its payload", command);
        return payload;
    }
}
