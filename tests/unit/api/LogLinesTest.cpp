// SPDX-License-Identifier: Apache-2.0
// The log lines users and tools read, in one table: each row does one thing through the public API and
// names the line it must leave in the log. Other tests check codes and values, not log text.
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <tuple>

#include "OpenedDeviceTest.h"
#include "protocol/ProtocolTypes.h"

using namespace orvtest;

namespace {

using LogLines = OpenedDeviceTest;

/// What is done, how, and the line it must leave.
using LogRow = std::tuple<const char *, std::function<void(TfDeviceHandle, FakeSession &)>, std::string>;

TEST_F(LogLines, EachActionLeavesItsLine)
{
    const auto disagreeingExposures = [](TfDeviceHandle d, FakeSession &s) {
        s.m_dataMode = 9;
        s.m_exposure[0] = 800;
        s.m_exposure[1] = 900;
        uint32_t exposure = 0;
        TFCM_GetToFExposureTime(d, &exposure);
    };
    const LogRow rows[] = {
        {"a failure passed through the translation", disagreeingExposures,
         "]:invalid param: interRet:-255\n"},
        {"an operation the camera lacks",
         [](TfDeviceHandle d, FakeSession &) {
             uint8_t fps = 0;
             TFCM_GetFrameRate(d, &fps);
         },
         "]:Not Support.\n"},
        {"two exposures that disagree in a two-exposure mode", disagreeingExposures,
         "]:The exposureTime 800 != 900 is different in dualfreq mode.\n"},
        {"a colour resolution without a size",
         [](TfDeviceHandle d, FakeSession &) { TFCM_SetColorResolution(d, 3); },
         "]:resolution:3 is invalid. use default values\n"},
        {"a file name without its terminator",
         [](TfDeviceHandle d, FakeSession &) {
             TfFileTransferParams params{};
             std::memset(params.name, 'n', sizeof(params.name));
             TFCM_TransferFile(d, &params);
         },
         " is too large than 256.\n"},
        {"camera parameters of an unknown selector",
         [](TfDeviceHandle d, FakeSession &) {
             CameraParamsProperty params{};
             params.selector = 9;
             TFCM_SetProperty(d, static_cast<int32_t>(0xF0000004u), &params, sizeof(params));
         },
         "]:CameraParams is invalid!\n"},
    };
    for (const auto &[action, run, line] : rows) {
        SCOPED_TRACE(action);
        const size_t mark = LogMark();
        run(m_handle, *m_session);
        EXPECT_TRUE(Contains(LogSince(mark), line)) << LogSince(mark);
    }
}

} // namespace
