// SPDX-License-Identifier: Apache-2.0
// Shared test support: a private log directory, log inspection, and a fixture with one opened fake camera.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "FakeSession.h"
#include "Orvane_api.h"

/// A copy of a field of a packed record, so that an assertion never binds a reference to a
/// misaligned member.
template <typename T> T Val(T value)
{
    return value;
}

/// Length of the log file now; pass it to LogSince to read what was logged afterwards.
size_t LogMark();
/// The log text written since `mark`.
std::string LogSince(size_t mark);
/// Opens the logger in the test's private home directory (again after a TFCM_Shutdown closed it).
void EnsureLogger();

/// One camera "KR52Lite:SN0001" in the device list, opened through the device manager with a
/// FakeSession as its session 0.
class OpenedDeviceTest : public ::testing::Test
{
protected:
    void SetUp() override;
    void TearDown() override;

    TfDeviceHandle m_handle = nullptr;
    FakeSession *m_session = nullptr; ///< owned by the opened device; valid until TearDown
};
