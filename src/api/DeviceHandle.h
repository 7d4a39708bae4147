// SPDX-License-Identifier: Apache-2.0
// The handle cell behind TfDeviceHandle: the application owns the cell, the device manager the device.
#pragma once

class BaseDevice;

/// Allocated by the open calls and freed by TFCM_CloseDevice.
struct Device
{
    BaseDevice *pDevice; ///< owned by the device manager; checked against its list on every call
};
