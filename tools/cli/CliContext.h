// SPDX-License-Identifier: Apache-2.0
// What a running subcommand works with: the common options, the output, and the library and camera
// it opens through them.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "CameraScope.h"
#include "CliOutput.h"
#include "CommonOptions.h"
#include "LibraryScope.h"
#include "Orvane_api.h"

namespace orvane::cli {

class CliContext
{
public:
    CliContext(const CommonOptions &options, CliOutput &output) : m_options(options), m_output(output) {}

    const CommonOptions &Options() const { return m_options; }
    CliOutput &Out() { return m_output; }

    /// Initialises the library; kExitOk, or kExitCameraError with a message.
    int InitLibrary();
    /// Initialises the library when needed, waits up to --wait for the camera the options choose (by
    /// --uri, --alias or --ip; the first one listed otherwise) and opens it. kExitOk, kExitNoCamera,
    /// kExitCameraError or kExitInterrupted, with a message for each failure.
    int OpenCamera();
    /// OpenCamera, then switches the output of each stream on when `streams` names it, off otherwise.
    int OpenCamera(const std::vector<std::string> &streams);
    CameraScope &Camera() { return *m_camera; }
    /// Closes the camera only (a camera that reboots, say, is opened anew afterwards).
    void CloseCamera() { m_camera.reset(); }
    /// Closes the camera and shuts the library down (also done on destruction).
    void Close();

    /// Prints "<what>: <status name> (<code>)" and returns kExitCameraError.
    int Fail(const std::string &what, int status);

    ~CliContext() { Close(); }

private:
    std::optional<TfDeviceInfo> FindListed() const;

    CommonOptions m_options;
    CliOutput &m_output;
    std::unique_ptr<LibraryScope> m_library;
    std::unique_ptr<CameraScope> m_camera;
};

} // namespace orvane::cli
