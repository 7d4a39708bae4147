// SPDX-License-Identifier: Apache-2.0
// SimRecording: the recording's header and the camera's own records read back from its buffers.
#include "SimRecording.h"

#include "runtime/ByteReader.h"
#include "runtime/RawRecordingReader.h"

#include <nlohmann/json.hpp>

#include <cstring>
#include <fstream>

namespace {

constexpr uint8_t kStatusType = 0x2C;
constexpr uint8_t kCalibrationType = 0x2E;
constexpr size_t kStatusBytes = 59;
constexpr size_t kCalibrationBytes = 470;
constexpr size_t kListEntries = 9;
constexpr size_t kReservedCalibrationBytes = 23;
constexpr uint8_t kRangeCount = 6;
constexpr uint8_t kColorLens = 2;

std::string Text(const nlohmann::json &header, const char *key)
{
    const auto found = header.find(key);
    return found != header.end() && found->is_string() ? found->get<std::string>() : std::string();
}

int Number(const nlohmann::json &header, const char *key)
{
    const auto found = header.find(key);
    return found != header.end() && found->is_number_integer() ? found->get<int>() : -1;
}

template <size_t N> void ReadDoubles(ByteReader &reader, std::array<double, N> &out)
{
    for (double &value : out) {
        value = reader.ReadF64Le();
    }
}

std::vector<uint8_t> ReadList(ByteReader &reader)
{
    const size_t count = std::min<size_t>(reader.ReadU8(), kListEntries);
    std::vector<uint8_t> list;
    for (size_t i = 0; i < kListEntries; ++i) {
        const uint8_t entry = reader.ReadU8();
        if (i < count) {
            list.push_back(entry);
        }
    }
    return list;
}

} // namespace

bool SimRecording::Load(const std::string &path, std::string &error)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = "cannot open " + path;
        return false;
    }
    RawRecordingReader reader(file);
    std::string headerText;
    if (!reader.ReadHeader(headerText)) {
        error = path + " is not a raw recording";
        return false;
    }
    const nlohmann::json header = nlohmann::json::parse(headerText, nullptr, false);
    if (!header.is_object()) {
        error = path + ": the header is not a JSON object";
        return false;
    }
    m_serial = Text(header, "serial");
    m_uri = Text(header, "uri");
    m_firmware = Text(header, "firmware");
    m_dataMode = Number(header, "dataMode");
    m_depthRange = Number(header, "depthRange");
    uint64_t arrivalNs = 0;
    std::vector<uint8_t> payload;
    while ((!m_status || !m_calibration) &&
           reader.Next(arrivalNs, payload) == RawRecordingReader::Result::kRecord) {
        ++m_recordsScanned;
        std::optional<std::vector<uint8_t>> status;
        std::optional<std::vector<uint8_t>> calibration;
        FindRecords(payload, status, calibration);
        if (!m_status && status) {
            m_status = std::move(status);
        }
        if (!m_calibration && calibration) {
            m_calibration = std::move(calibration);
        }
    }
    return true;
}

void SimRecording::FindRecords(const std::vector<uint8_t> &payload,
                               std::optional<std::vector<uint8_t>> &status,
                               std::optional<std::vector<uint8_t>> &calibration)
{
    ByteReader reader(payload.data(), payload.size());
    while (reader.Remaining() > 0) {
        const uint8_t type = reader.ReadU8();
        // The status record's header is its type and a u16 length; every other one has a u24 length and
        // a spare byte.
        const uint32_t length = type == kStatusType ? reader.ReadU16Le() : reader.ReadU24Le();
        if (type != kStatusType) {
            reader.ReadU8();
        }
        if (!reader.Ok() || length > reader.Remaining()) {
            return;
        }
        const uint8_t *data = payload.data() + reader.Position();
        if (type == kStatusType && length == kStatusBytes) {
            status.emplace(data, data + length);
        } else if (type == kCalibrationType && length == kCalibrationBytes) {
            calibration.emplace(data, data + length);
        }
        reader.Skip(length);
    }
}

void SimRecording::ApplyStatus(const std::vector<uint8_t> &status, SimSettings &settings)
{
    ByteReader reader(status.data(), status.size());
    settings.workMode.mode = reader.ReadU8();
    settings.slaveMode = reader.ReadU8();
    reader.Skip(4); // ToF width and height
    settings.dataMode = reader.ReadU8();
    settings.depthRange = reader.ReadU8();
    settings.exposureUs[0] = reader.ReadU32Le();
    settings.gmmGain = static_cast<uint8_t>(reader.ReadU16Le());
    reader.Skip(3); // laser temperature, multi-frequency flag
    settings.dualFreqCount = reader.ReadU8();
    for (int8_t &value : settings.dualFreqValues) {
        value = static_cast<int8_t>(reader.ReadU8());
    }
    // The sub-frames are the host's exposure indices 0, 1 and 3.
    reader.ReadU32Le();
    settings.exposureUs[1] = reader.ReadU32Le();
    settings.exposureUs[3] = reader.ReadU32Le();
    reader.Skip(6 + 6 + 1); // sub-frame gains, background thresholds, sensor temperature
    for (uint8_t group = 1; group <= 3; ++group) {
        settings.dspSwitches[group] = reader.ReadU8();
    }
    reader.Skip(3);
    SimLensConfig color;
    color.type = kColorLens;
    color.width = reader.ReadU16Le();
    color.height = reader.ReadU16Le();
    color.fps = reader.ReadU8();
    color.encodeType = reader.ReadU8();
    color.state = reader.ReadU8();
    if (reader.Ok() && (color.width != 0 || color.state != 0)) {
        settings.lenses[kColorLens] = color;
    }
}

void SimRecording::ApplyCalibration(const std::vector<uint8_t> &block, SimSettings &settings)
{
    ByteReader reader(block.data(), block.size());
    ReadDoubles(reader, settings.tofIntrinsic);
    ReadDoubles(reader, settings.tofDistortion);
    ReadDoubles(reader, settings.colorIntrinsic);
    ReadDoubles(reader, settings.colorDistortion);
    ReadDoubles(reader, settings.rotation);
    ReadDoubles(reader, settings.translationMm);
    // Three rows of six, one column per depth range: distance (range2), largest (range0), smallest (range1).
    std::array<std::array<uint16_t, kRangeCount>, 3> rows{};
    for (auto &row : rows) {
        for (uint16_t &value : row) {
            value = reader.ReadU16Le();
        }
    }
    for (uint8_t range = 0; range < kRangeCount; ++range) {
        settings.measuringRanges[range] = SimMeasuringRange{rows[1][range], rows[2][range], rows[0][range]};
    }
    reader.Skip(2 + 16); // depth range and data mode (the status record's are current), dual frequencies
    settings.depthRanges = ReadList(reader);
    settings.dataModes = ReadList(reader);
    reader.Skip(kReservedCalibrationBytes + 5); // reserved bytes, colour flag and size (the status has them)
    settings.UpdateEpipolar();
}

void SimRecording::ApplyTo(SimSettings &settings) const
{
    if (!m_serial.empty()) {
        settings.serial = m_serial;
        settings.deviceSerial = m_serial;
    }
    if (!m_firmware.empty()) {
        settings.firmwareVersion = m_firmware;
    }
    if (m_dataMode >= 0) {
        settings.dataMode = static_cast<uint8_t>(m_dataMode);
    }
    if (m_depthRange >= 0) {
        settings.depthRange = static_cast<uint8_t>(m_depthRange);
    }
    if (m_calibration) {
        ApplyCalibration(*m_calibration, settings);
    }
    if (m_status) {
        ApplyStatus(*m_status, settings);
    }
}
