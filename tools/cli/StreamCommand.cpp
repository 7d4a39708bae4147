// SPDX-License-Identifier: Apache-2.0
// `orvane-cli stream [-t S] [--streams ...]`: streams the camera and shows, each second, every stream's
// rate, frames, drops by reason and latency, until the time is up or Ctrl-C.
#include "StreamCommand.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>

#include "CliContext.h"
#include "DeviceText.h"
#include "ExitCodes.h"
#include "FrameCapture.h"
#include "Interrupt.h"
#include "StreamChoice.h"
#include "StreamMeter.h"
#include "StreamReport.h"

namespace orvane::cli {
namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

} // namespace

void StreamCommand::Register(CLI::App &app)
{
    app.add_option("-t,--time", seconds, "seconds to stream (0: until Ctrl-C)")
        ->check(CLI::NonNegativeNumber);
    app.add_option("--streams", streams, "the streams to turn on: depth, ir, confidence, color")
        ->delimiter(',')
        ->check(StreamChoice::Names());
}

int StreamCommand::Run(CliContext &context)
{
    if (const int code = context.OpenCamera(streams); code != kExitOk) {
        return code;
    }
    CameraScope &camera = context.Camera();
    if (const int status = camera.StartStream(); status != TF_OK) {
        return context.Fail("TFCM_StartStream", status);
    }
    CliOutput &out = context.Out();
    m_table = !out.Json() && isatty(STDOUT_FILENO) == 1;
    m_tableLines = 0;
    StreamMeter meter(camera.Handle(), StreamChoice::Ordered(streams));
    if (!meter.HasDropCounters()) {
        out.Message("the library's drop counters cannot be read: drops show index gaps only");
    }
    if (m_table) {
        out.Message("streaming " + FieldText(camera.Info().uri, sizeof camera.Info().uri) +
                    (seconds > 0 ? "" : " until Ctrl-C"));
    }
    return Measure(context, meter);
}

int StreamCommand::Measure(CliContext &context, StreamMeter &meter)
{
    CliOutput &out = context.Out();
    FrameCapture capture(context.Camera().Handle(), FrameCapture::Pixels::Borrow);
    const Clock::time_point start = Clock::now();
    const Clock::time_point end =
        seconds > 0
            ? start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds))
            : Clock::time_point::max();
    Clock::time_point nextReport = start + std::chrono::seconds(1);
    bool connectionDown = false;
    int code = kExitOk;
    while (!Interrupt::Requested()) {
        const Clock::time_point now = Clock::now();
        if (now >= end) {
            break;
        }
        if (now >= nextReport) {
            Report(out, meter, SecondsSince(start), false);
            nextReport = std::max(nextReport + std::chrono::seconds(1), now);
        }
        const int status = capture.ReadNext();
        if (status == TF_OK) {
            meter.Observe(capture);
            connectionDown = false;
        } else if (status == TF_ERROR_NOT_CONNECTED_STREAM) {
            // The library reconnects by itself; said once per outage, and no busy loop meanwhile.
            if (!connectionDown) {
                out.Message("the stream's connection is down; waiting for it to come back");
            }
            connectionDown = true;
            Interrupt::WaitFor(std::chrono::milliseconds(50));
        } else if (status != TF_ERROR_FRAME_TIMEOUT) {
            code = context.Fail("TFCM_ReadNextFrame", status);
            break;
        }
    }
    Report(out, meter, SecondsSince(start), true);
    return code;
}

void StreamCommand::Report(CliOutput &out, const StreamMeter &meter, double elapsedS, bool final)
{
    const std::vector<StreamRow> rows = meter.Rows(Clock::now());
    if (m_table) {
        const std::string table = StreamReport::Table(elapsedS, rows);
        const std::string redrawn = StreamReport::Redraw(table, m_tableLines);
        out.Text(redrawn.substr(0, redrawn.size() - 1)); // Text ends the last line itself
        m_tableLines = static_cast<size_t>(std::count(table.begin(), table.end(), '\n'));
        return;
    }
    out.Emit(StreamReport::Record(elapsedS, rows, final),
             (final ? "total" : "") + StreamReport::Line(elapsedS, rows));
}

} // namespace orvane::cli
