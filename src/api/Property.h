// SPDX-License-Identifier: Apache-2.0
// The property-key dispatch behind TFCM_SetProperty and TFCM_GetProperty.
#pragma once

#include <cstdint>

#include "Orvane_api.h"

class BaseSession;

/// Dispatches one set request to session 0 of a checked handle; the value pointer is not null.
/// Returns the public status (unknown key -7, wrong size -15, else the translated result).
int DispatchSetProperty(TfDeviceHandle device, BaseSession &session, int32_t key, const void *value,
                        int32_t size);

/// Dispatches one get request; value and size are not null. Unknown key -6.
int DispatchGetProperty(TfDeviceHandle device, BaseSession &session, int32_t key, void *value, int32_t *size);
