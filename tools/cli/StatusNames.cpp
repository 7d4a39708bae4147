// SPDX-License-Identifier: Apache-2.0
// The names of the library's status codes, as the public header spells them.
#include "StatusNames.h"

#include "Orvane_api.h"

namespace orvane::cli {

std::string StatusName(int status)
{
    struct Name
    {
        int code;
        const char *name;
    };
    static constexpr Name kNames[] = {
        {TF_OK, "TF_OK"},
        {TF_ERROR_DEVICE_NOT_FOUND, "TF_ERROR_DEVICE_NOT_FOUND"},
        {TF_ERROR_NOT_CONNECTED_STREAM, "TF_ERROR_NOT_CONNECTED_STREAM"},
        {TF_ERROR_INVALID_HANDLE, "TF_ERROR_INVALID_HANDLE"},
        {TF_ERROR_NO_FRAME_MODE, "TF_ERROR_NO_FRAME_MODE"},
        {TF_ERROR_NO_FRAME_DATA, "TF_ERROR_NO_FRAME_DATA"},
        {TF_ERROR_GET_PROPERTY_KEY, "TF_ERROR_GET_PROPERTY_KEY"},
        {TF_ERROR_SET_PROPERTY_KEY, "TF_ERROR_SET_PROPERTY_KEY"},
        {TF_ERROR_PROPERTY_NULL, "TF_ERROR_PROPERTY_NULL"},
        {TF_ERROR_DEPTH_RANGE, "TF_ERROR_DEPTH_RANGE"},
        {TF_ERROR_FRAME_TIMEOUT, "TF_ERROR_FRAME_TIMEOUT"},
        {TF_ERROR_NULL_POINTER, "TF_ERROR_NULL_POINTER"},
        {TF_ERROR_NOT_CONNECTED, "TF_ERROR_NOT_CONNECTED"},
        {TF_ERROR_SENSOR_TYPE, "TF_ERROR_SENSOR_TYPE"},
        {TF_ERROR_INVALID_ARGUMENT, "TF_ERROR_INVALID_ARGUMENT"},
        {TF_ERROR_UPGRADE_REJECTED, "TF_ERROR_UPGRADE_REJECTED"},
        {TF_ERROR_UPGRADE_FILE, "TF_ERROR_UPGRADE_FILE"},
        {TF_ERROR_UPGRADE_PATH_TOO_LONG, "TF_ERROR_UPGRADE_PATH_TOO_LONG"},
        {TF_ERROR_UPGRADE_NO_CALLBACK, "TF_ERROR_UPGRADE_NO_CALLBACK"},
        {TF_ERROR_ALREADY_INITIALIZED, "TF_ERROR_ALREADY_INITIALIZED"},
        {TF_ERROR_NOT_INITIALIZED, "TF_ERROR_NOT_INITIALIZED"},
        {TF_ERROR_ALREADY_OPENED, "TF_ERROR_ALREADY_OPENED"},
        {TF_ERROR_TRANSPORT, "TF_ERROR_TRANSPORT"},
        {TF_ERROR_NOT_CONFIRMED, "TF_ERROR_NOT_CONFIRMED"},
        {TF_ERROR_STREAMING, "TF_ERROR_STREAMING"},
        {TF_ERROR_OTHER, "TF_ERROR_OTHER"},
    };
    for (const Name &name : kNames) {
        if (name.code == status) {
            return name.name;
        }
    }
    return "TF_STATUS_" + std::to_string(status);
}

} // namespace orvane::cli
