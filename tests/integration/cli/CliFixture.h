// SPDX-License-Identifier: Apache-2.0
// orvane-cli run in-process against simulated cameras: the fixture starts the cameras (not the library,
// which the command line initialises itself) and runs command lines, capturing their output.
#pragma once

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "CameraSimulator.h"
#include "CliApp.h"
#include "HotPlugRecorder.h"
#include "Interrupt.h"

namespace orvtest {

/// A text stream other threads may read while a command writes to it.
class SharedText : public std::stringbuf
{
public:
    std::string Snapshot()
    {
        std::lock_guard<std::recursive_mutex> lock(m_mutex);
        return str();
    }

protected:
    std::streamsize xsputn(const char *data, std::streamsize count) override
    {
        std::lock_guard<std::recursive_mutex> lock(m_mutex);
        return std::stringbuf::xsputn(data, count);
    }
    int_type overflow(int_type c) override
    {
        std::lock_guard<std::recursive_mutex> lock(m_mutex);
        return std::stringbuf::overflow(c);
    }

private:
    std::recursive_mutex m_mutex; // the base class's xsputn calls overflow
};

/// The JSON Lines of a command's output, one object a line.
inline std::vector<nlohmann::json> JsonLines(const std::string &text)
{
    std::vector<nlohmann::json> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(nlohmann::json::parse(line));
    }
    return lines;
}

struct CliResult
{
    int code = -1;
    std::string out;
    std::string err;
};

class CliFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        orvane::cli::Interrupt::Reset();
        CameraSimulator::Options options;
        options.announcePeriodMs = kAnnounceMs;
        m_sim = std::make_unique<CameraSimulator>(options);
    }
    void TearDown() override
    {
        m_sim.reset();
        orvane::cli::Interrupt::Reset();
    }

    /// Adds a serving camera "KR52Lite:<serial>" on 127.0.0.<hostByte>.
    SimCamera &AddCamera(const std::string &serial, unsigned hostByte)
    {
        SimCameraConfig config;
        config.serial = serial;
        config.address = "127.0.0." + std::to_string(hostByte);
        SimCamera &camera = m_sim->AddCamera(config);
        camera.UpdateSettings([&](SimSettings &s) {
            s.serial = serial;
            s.deviceSerial = serial;
            s.ipAddress = config.address;
        });
        return camera;
    }

    /// Parses and runs one command line as orvane-cli would (without the program name).
    /// `liveOut`, when given, also receives stdout as it is written.
    static CliResult Run(const std::vector<std::string> &args, SharedText *liveOut = nullptr)
    {
        orvane::cli::CliApp app;
        SharedText outText;
        std::ostream out(liveOut != nullptr ? liveOut : &outText);
        std::ostringstream err;
        CliResult result;
        result.code = app.Parse(args, out, err);
        if (result.code == 0 && !app.Finished()) {
            result.code = app.Run(out, err);
        }
        result.out = liveOut != nullptr ? liveOut->Snapshot() : outText.Snapshot();
        result.err = err.str();
        return result;
    }

    std::unique_ptr<CameraSimulator> m_sim;
};

} // namespace orvtest
