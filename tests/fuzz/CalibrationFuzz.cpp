// SPDX-License-Identifier: Apache-2.0
// Fuzz target for the calibration block: decoding it, the mode and range lists and the calibration a
// session takes from it, and the depth-to-world table and undistorted intrinsics computed from its values.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "FuzzInput.h"
#include "pipeline/DeviceStatus.h"
#include "refine/APIDepthRefine.h"
#include "session/SessionCalibration.h"
#include "session/SessionModeLists.h"

/// Input: the 470-byte block, then a byte of switches (undistortion of either sensor, the refine library,
/// the table, twice)
/// and the colour image's width and height (2 bytes each).
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const std::unique_ptr<APIDepthRefine> owned(Get_APIDepthRefine());
    APIDepthRefine *const refine = owned.get();
    InitCameraParams block;
    if (!RequireDecodedAsCopy(DecodeInitCameraParams, data, size, kInitCameraParamsBytes, block)) {
        return 0;
    }

    // The lists never claim more entries than they hold, whatever count the block gives.
    SessionModeLists lists;
    lists.SetNetworkDefaults();
    lists.TakeBlock(block);
    Require(lists.DataModes()[0] < SessionModeLists::kDataModeListBytes);
    Require(lists.DepthRanges()[0] < SessionModeLists::kDepthRangeListBytes);
    (void)lists.IsDataModeValid(block.mode);

    FuzzInput tail(data + kInitCameraParamsBytes, size - kInitCameraParamsBytes);
    const uint8_t switches = tail.Byte();
    // Colour images of up to 4096 x 4096: larger ones only make each run slower.
    const auto width = static_cast<uint32_t>(tail.Number(2) % 4097);
    const auto height = static_cast<uint32_t>(tail.Number(2) % 4097);
    SessionCalibration calibration;
    calibration.TakeBlock(block);
    calibration.SetTofUndistorted((switches & 1) != 0);
    calibration.SetColorUndistorted((switches & 2) != 0);
    APIDepthRefine *used = (switches & 4) != 0 ? refine : nullptr;
    double color[9];
    std::memcpy(color, block.rgbIntrinsic, sizeof(color));
    calibration.DeliveredIntrinsic(kSensorColor, color, used, width, height);
    if ((switches & 0x18) == 0x18) {
        // The whole table (some 10 ms with the lens distortion kept, so asked for by two switches): one ray
        // per column and row, and per pixel when the lens distortion is kept.
        calibration.BuildDepthWorldTable(calibration.Params().tofIntrinsic.data(), used);
        const auto table = calibration.WorldTable();
        Require(table != nullptr && table->columnX.size() == kDepthTableWidth &&
                table->rowY.size() == kDepthTableHeight);
        Require(table->rayX.size() == table->rayY.size() &&
                (table->rayX.empty() || table->rayX.size() == size_t{kDepthTableWidth} * kDepthTableHeight));
    }
    return 0;
}
