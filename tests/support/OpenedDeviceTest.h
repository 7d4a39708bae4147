// SPDX-License-Identifier: Apache-2.0
// The API unit tests' environment and their fixture: one opened camera whose session is a FakeSession.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "FakeSession.h"
#include "Orvane_api.h"
#include "TestSupport.h"

namespace orvtest {

/// The environment of the API unit tests: a private home with a running logger and no discovery.
::testing::Environment *ApiUnitEnvironment();
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

} // namespace orvtest
