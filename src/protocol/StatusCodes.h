// SPDX-License-Identifier: Apache-2.0
// The status codes of the library's internal calls. They mirror the public TfReturnStatus codes one to
// one, so a result passes the C boundary without a table; each is pinned to its public twin below.
#pragma once

#include "Orvane_api.h"

enum StatusCode : int
{
    kStatusOk = TF_OK,
    kStatusDeviceNotFound = TF_ERROR_DEVICE_NOT_FOUND,
    kStatusNotConnectedStream = TF_ERROR_NOT_CONNECTED_STREAM,
    kStatusInvalidHandle = TF_ERROR_INVALID_HANDLE,
    kStatusNoFrameMode = TF_ERROR_NO_FRAME_MODE,
    kStatusNoFrameData = TF_ERROR_NO_FRAME_DATA,
    kStatusGetPropertyKey = TF_ERROR_GET_PROPERTY_KEY,
    kStatusSetPropertyKey = TF_ERROR_SET_PROPERTY_KEY,
    kStatusPropertyNull = TF_ERROR_PROPERTY_NULL,
    kStatusDepthRange = TF_ERROR_DEPTH_RANGE,
    kStatusFrameTimeout = TF_ERROR_FRAME_TIMEOUT,
    kStatusNullPointer = TF_ERROR_NULL_POINTER,
    kStatusNotConnected = TF_ERROR_NOT_CONNECTED,
    kStatusSensorType = TF_ERROR_SENSOR_TYPE,
    kStatusInvalidArgument = TF_ERROR_INVALID_ARGUMENT,
    kStatusUpgradeRejected = TF_ERROR_UPGRADE_REJECTED,
    kStatusUpgradeFile = TF_ERROR_UPGRADE_FILE,
    kStatusUpgradePathTooLong = TF_ERROR_UPGRADE_PATH_TOO_LONG,
    kStatusUpgradeNoCallback = TF_ERROR_UPGRADE_NO_CALLBACK,
    kStatusAlreadyInitialized = TF_ERROR_ALREADY_INITIALIZED,
    kStatusNotInitialized = TF_ERROR_NOT_INITIALIZED,
    kStatusAlreadyOpened = TF_ERROR_ALREADY_OPENED,
    kStatusTransport = TF_ERROR_TRANSPORT,
    kStatusNotConfirmed = TF_ERROR_NOT_CONFIRMED,
    kStatusStreaming = TF_ERROR_STREAMING,
    /// Any other failure, and every operation a camera kind does not support.
    kStatusNotSupported = TF_ERROR_OTHER,
};
