// SPDX-License-Identifier: Apache-2.0
// CommandTable: the socket commands that move one fixed-width value or block, as rows, and the routines
// that run a row, a calibration block, a text, a list or a DSP function on the command connection.
#pragma once

#include <atomic>
#include <cstdint>

#include "protocol/ProtocolTypes.h"

class SocketCtl;

/// What a row does on a camera that is not open.
enum class CommandGuard : uint8_t
{
    kNone,        ///< nothing: the transaction is tried
    kOpened,      ///< logs "device is not opened." and returns 0 without a transaction
    kOpenedOrFail ///< the same, returning kStatusNotConnected
};

/// Where a row logs its value with its format.
enum class ValueLog : uint8_t
{
    kNone,
    kFirst,  ///< a setting, before the guard
    kSent,   ///< a setting, after the guard
    kAnswer, ///< a query, once the camera answered
};

/// One operation that moves one little-endian value of `width` bytes: the request payload is the sub-id
/// (`subIdBytes` bytes, little-endian), then the value (a query sends the caller's value when `echo`,
/// else zeros), zero-padded to `length` bytes; a query reads the value from the reply at the same place.
struct CommandRow
{
    const char *name; ///< the operation, named in its log lines
    uint8_t cmd;
    uint16_t subId;
    uint8_t subIdBytes;
    uint8_t width;
    uint8_t length;
    uint8_t cap; ///< reply bytes a query takes
    CommandGuard guard;
    ValueLog log;
    const char *format; ///< one int: the value (sign-extended when `isSigned`)
    bool echo;
    bool isSigned;
    const char *param; ///< a query's pointer, checked for null after the guard; nullptr: not checked
};

/// A calibration block of command 0x10: up to two parts, each a sub-id and its count of doubles.
struct CalibrationRow
{
    const char *name; ///< logged with the values and failures
    uint8_t subIds[2];
    int counts[2];
    int parts;
};

/// Runs table rows on one camera's command connection. Owned by the protocol, whose connection and
/// opened flag it borrows for its lifetime.
class CommandTable
{
public:
    /// Room for any request payload and any reply data (the data length is one byte).
    static constexpr int kPayloadBytes = 256;

    CommandTable(SocketCtl &ctl, const std::atomic<bool> &opened) : m_ctl(ctl), m_opened(opened) {}

    /// Sends a setting row with `value`. 0, the guard's result, or the failed transaction's status.
    int Set(const CommandRow &row, uint64_t value) const;
    /// Runs a query row into the caller's field: `*value` goes out when the row echoes and the answer
    /// comes back; a null `value` is refused after the guard (-1).
    template <typename T> int Get(const CommandRow &row, T *value) const
    {
        if (value == nullptr) {
            return Query(row, nullptr);
        }
        uint64_t wide = static_cast<uint64_t>(*value);
        const int ret = Query(row, &wide);
        *value = static_cast<T>(wide); // unchanged unless answered
        return ret;
    }

    /// Sends (or reads) a calibration block of doubles, part by part; a failed part ends the block.
    int SetCalibration(const CalibrationRow &row, const double *values) const;
    int GetCalibration(const CalibrationRow &row, double *values) const;

    /// A text setting of `length` bytes (at most 63 are sent) after `subId`.
    int SetInfoString(int cmd, uint8_t subId, const char *text, int length) const;
    /// A text query: the answer after the echoed `subId` fills `length` bytes of `text`, zero-padded.
    int GetInfoString(int cmd, uint8_t subId, char *text, int length) const;
    /// A list of command 0x13: a count and at most kMaxListEntries entries.
    int SetList(uint8_t subId, uint8_t count, const uint8_t *entries) const;
    int GetList(uint8_t subId, uint8_t &count, uint8_t *entries) const;

    /// The DSP functions of command 0x19 (a table of where each sits) and the confidence filter.
    int SetDspStatus(const DSPParameters &params) const;
    int GetDspStatus(DSPParameters &params) const;
    int SetConfidenceFilterParams(const ConfidenceFilterParams &params) const;
    int GetConfidenceFilterParams(ConfidenceFilterParams &params) const;

    /// One bare transaction (see SocketCtl::SetCmd).
    int Transact(int cmd, uint8_t *payload, int cap, int len, int type) const;

private:
    /// The guard of `row`: true when the operation goes on, else `result` holds what it returns.
    bool Guard(const CommandRow &row, int &result) const;
    int Query(const CommandRow &row, uint64_t *value) const;

    SocketCtl &m_ctl;
    const std::atomic<bool> &m_opened;
};

/// The rows, one per operation; the protocol's operations are one-line calls with them.
namespace command_rows {
// clang-format off
//                                     name                     cmd   sub-id      width len cap  guard                        log               format          echo   signed param
constexpr CommandRow kStartStream     {"StartStream",           0x1B, 0,      0,  1,    1,  0,   CommandGuard::kOpenedOrFail, ValueLog::kNone,   nullptr,        false, false, nullptr};
constexpr CommandRow kStopStream      {"StopStream",            0x1B, 0,      0,  1,    1,  0,   CommandGuard::kOpenedOrFail, ValueLog::kNone,   nullptr,        false, false, nullptr};
constexpr CommandRow kSetFrameRate    {"SetTofFrameRate",       0x04, 0,      0,  1,    1,  0,   CommandGuard::kNone,         ValueLog::kFirst,  "%d",           false, false, nullptr};
constexpr CommandRow kGetFrameRate    {"GetTofFrameRate",       0x04, 0,      0,  1,    1,  1,   CommandGuard::kNone,         ValueLog::kAnswer, "%d",           false, false, "rate"};
constexpr CommandRow kSetDataMode     {"SetDataMode",           0x06, 0,      0,  1,    1,  0,   CommandGuard::kOpened,       ValueLog::kFirst,  "%d",           false, false, nullptr};
constexpr CommandRow kGetDataMode     {"GetDataMode",           0x06, 0,      0,  1,    1,  1,   CommandGuard::kOpened,       ValueLog::kAnswer, " %d",          true,  false, "mode"};
constexpr CommandRow kSetDepthRange   {"SetDepthRange",         0x07, 0,      0,  1,    1,  0,   CommandGuard::kOpened,       ValueLog::kFirst,  "%d",           false, false, nullptr};
constexpr CommandRow kGetDepthRange   {"GetDepthRange",         0x07, 0,      0,  1,    0,  1,   CommandGuard::kOpened,       ValueLog::kAnswer, "%d",           false, true,  nullptr};
constexpr CommandRow kSetSlaveMode    {"SetSlaveMode",          0x02, 0,      0,  1,    1,  0,   CommandGuard::kOpened,       ValueLog::kNone,   nullptr,        false, false, nullptr};
constexpr CommandRow kGetSlaveMode    {"GetSlaveMode",          0x02, 0,      0,  1,    1,  1,   CommandGuard::kOpened,       ValueLog::kAnswer, "value:%d",     true,  false, "mode"};
constexpr CommandRow kSetSlaveEnabled {"SetSlaveModeEnabled",   0x02, 8,      1,  1,    2,  0,   CommandGuard::kOpened,       ValueLog::kSent,   "bEnabled:%d",  false, false, nullptr};
constexpr CommandRow kSlaveTrigger    {"SetSlaveTrigger",       0x1F, 0,      0,  1,    1,  0,   CommandGuard::kOpened,       ValueLog::kNone,   nullptr,        false, false, nullptr};
constexpr CommandRow kSetGmmGain      {"SetGMMGain",            0x15, 4,      1,  1,    2,  0,   CommandGuard::kOpened,       ValueLog::kFirst,  "%d",           false, false, nullptr};
constexpr CommandRow kGetGmmGain      {"GetGMMGain",            0x15, 4,      1,  1,    1,  2,   CommandGuard::kOpened,       ValueLog::kNone,   nullptr,        false, false, "gain"};
constexpr CommandRow kReboot          {"RebootCamera",          0x12, 8,      1,  0,    1,  0,   CommandGuard::kNone,         ValueLog::kNone,   nullptr,        false, false, nullptr};
constexpr CommandRow kCameraParams    {"SendCameraParamsEnable",0x01, 0,      0,  1,    64, 0,   CommandGuard::kNone,         ValueLog::kNone,   nullptr,        false, false, nullptr};
constexpr CommandRow kHeartBeat       {"GetHeartBeat",          0x9C, 1,      1,  0,    1,  1,   CommandGuard::kNone,         ValueLog::kNone,   nullptr,        false, false, nullptr};
constexpr CommandRow kUpgradeSupport  {"GetUpgradeIsSupported", 0x1D, 0x0102, 2,  1,    64, 64,  CommandGuard::kOpened,       ValueLog::kNone,   nullptr,        false, false, nullptr};
constexpr CommandRow kJsonSupport     {"GetJsonIsSupported",    0x1D, 0x0103, 2,  1,    64, 64,  CommandGuard::kNone,         ValueLog::kNone,   nullptr,        false, false, nullptr};

constexpr CalibrationRow kTofIntrinsic    {"Intrinsic",  {0, 1},   {4, 5}, 2};
constexpr CalibrationRow kColorIntrinsic  {"Intrinsic",  {4, 5},   {4, 5}, 2};
constexpr CalibrationRow kTofDistortion   {"Distortion", {2, 3},   {4, 4}, 2};
constexpr CalibrationRow kColorDistortion {"Distortion", {6, 7},   {4, 4}, 2};
constexpr CalibrationRow kRotation        {"Rotation",   {8, 9},   {4, 5}, 2};
constexpr CalibrationRow kTranslation     {"Transfer",   {10, 0},  {3, 0}, 1};
constexpr CalibrationRow kEssential       {"E",          {11, 12}, {4, 5}, 2};
constexpr CalibrationRow kFundamental     {"F",          {13, 14}, {4, 5}, 2};
// clang-format on
} // namespace command_rows
