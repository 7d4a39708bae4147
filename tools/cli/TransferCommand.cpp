// SPDX-License-Identifier: Apache-2.0
// `orvane-cli transfer push|pull TYPE [INDEX] FILE`: moves a calibration file between host and camera.
#include "TransferCommand.h"

#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>

#include "CliContext.h"
#include "ExitCodes.h"
#include "Interrupt.h"

namespace orvane::cli {

namespace {

using Clock = std::chrono::steady_clock;

struct FileType
{
    const char *name;
    int number;
    const char *saved; // the name the library saves a pulled file under, in ./Config/
    bool indexed;      // one file per depth range
};

constexpr FileType kTypes[] = {
    {"intrinsic", 4, "intrinsic", false},
    {"planeness", 5, "planeness", true},
    {"range-offset", 6, "rangeOffset", true},
    {"ir-background", 7, "ir_background", false},
};

const FileType *FindType(int number)
{
    for (const FileType &t : kTypes) {
        if (t.number == number) {
            return &t;
        }
    }
    return nullptr;
}

/// The progress the library reports through the transfer callback: 2 while the camera works, then 1
/// (done) or 0 (failed).
struct TransferProgress
{
    std::mutex mutex;
    std::condition_variable changed;
    CliOutput *output = nullptr;
    std::string label;
    bool terminal = false;
    int reports = 0;         // guarded by mutex
    bool done = false;       // guarded by mutex
    int status = 0;          // guarded by mutex
    Clock::time_point drawn; // guarded by mutex; the last redraw of the line
};

void OnTransfer(uint8_t, uint8_t, int8_t status, void *userData)
{
    auto *p = static_cast<TransferProgress *>(userData);
    std::lock_guard<std::mutex> lock(p->mutex);
    ++p->reports;
    if (status != 2) {
        p->done = true;
        p->status = status;
        p->changed.notify_all();
        return;
    }
    // The library asks again at once, so reports can come thousands a second: redraw ten times a second.
    if (p->terminal && Clock::now() - p->drawn > std::chrono::milliseconds(100)) {
        p->drawn = Clock::now();
        p->output->Partial("\r" + p->label + ": working (" + std::to_string(p->reports) + " reports)");
    }
}

} // namespace

void TransferCommand::Register(CLI::App &app)
{
    app.add_option("DIRECTION", direction, "push (host file to camera) or pull (camera file to host)")
        ->required()
        ->check(CLI::IsMember({"push", "pull"}));
    app.add_option("TYPE", type, "intrinsic, planeness, range-offset, ir-background (or 4 to 7)")
        ->required()
        ->check([](const std::string &value) {
            return TypeNumber(value) ? std::string() : "unknown file type " + value;
        });
    app.add_option("ARGS", rest, "[INDEX] FILE: the depth range for planeness and range-offset, and the file")
        ->required()
        ->expected(1, 2);
    app.add_option("--timeout", timeoutS, "seconds to wait for the camera")->check(CLI::Range(1, 3600));
}

std::optional<int> TransferCommand::TypeNumber(const std::string &name)
{
    for (const FileType &t : kTypes) {
        if (name == t.name || name == std::to_string(t.number)) {
            return t.number;
        }
    }
    return std::nullopt;
}

std::string TransferCommand::SavedPath(int type, int index)
{
    const FileType *t = FindType(type);
    if (t == nullptr) {
        return {};
    }
    return std::string("./Config/") + t->saved + (t->indexed ? "_" + std::to_string(index) : "") + ".bin";
}

int TransferCommand::CheckArguments(CliOutput &out, int &index, std::filesystem::path &file) const
{
    index = 0;
    if (rest.size() == 2) {
        const std::string &text = rest[0];
        if (text.size() != 1 || text[0] < '0' || text[0] > '5') {
            out.Message("the index is a depth range, 0 to 5, not " + text);
            return kExitUsage;
        }
        index = text[0] - '0';
    }
    std::error_code error;
    file = std::filesystem::absolute(rest.back(), error);
    if (direction == "push" && (error || !std::filesystem::is_regular_file(file, error))) {
        out.Message("cannot read " + rest.back());
        return kExitUsage;
    }
    if (direction == "push" && file.string().size() >= sizeof(TfFileTransferParams::name)) {
        out.Message("the path " + file.string() + " is too long for the library");
        return kExitUsage;
    }
    return kExitOk;
}

int TransferCommand::Deliver(CliOutput &out, const std::string &saved, bool savedExisted,
                             const std::filesystem::path &file)
{
    std::error_code error;
    if (std::filesystem::absolute(saved, error).lexically_normal() == file.lexically_normal()) {
        return kExitOk;
    }
    std::filesystem::copy_file(saved, file, std::filesystem::copy_options::overwrite_existing, error);
    if (error) {
        out.Message("cannot copy " + saved + " to " + file.string() + ": " + error.message());
        return kExitUsage;
    }
    if (!savedExisted) {
        std::filesystem::remove(saved, error); // the library's copy was only on its way here
    }
    return kExitOk;
}

int TransferCommand::Run(CliContext &context)
{
    CliOutput &out = context.Out();
    const int number = TypeNumber(type).value_or(0);
    const bool pull = direction == "pull";
    int index = 0;
    std::filesystem::path file;
    if (const int code = CheckArguments(out, index, file); code != kExitOk) {
        return code;
    }
    std::error_code error;
    const std::string saved = SavedPath(number, index);
    const bool savedExisted = std::filesystem::exists(saved, error);
    if (const int code = context.OpenCamera(); code != kExitOk) {
        return code;
    }
    TransferProgress progress;
    progress.output = &out;
    progress.label = direction + " " + type + (rest.size() == 2 ? " " + rest[0] : "");
    progress.terminal = !out.Json() && isatty(STDOUT_FILENO) != 0;
    TfFileTransferParams params{};
    params.type = static_cast<uint32_t>(number);
    params.index = static_cast<uint8_t>(index);
    params.direction = pull ? 1 : 0;
    std::snprintf(params.name, sizeof params.name, "%s", pull ? "" : file.c_str());
    params.callback = &OnTransfer;
    params.userData = &progress;
    if (const int status = TFCM_TransferFile(context.Camera().Handle(), &params); status != TF_OK) {
        return context.Fail("transfer", status);
    }
    const auto deadline = Clock::now() + std::chrono::seconds(timeoutS);
    std::unique_lock<std::mutex> lock(progress.mutex);
    while (!progress.done && !Interrupt::Requested() && Clock::now() < deadline) {
        progress.changed.wait_for(lock, std::chrono::milliseconds(100));
    }
    const bool done = progress.done;
    const int status = progress.status;
    const int reports = progress.reports;
    lock.unlock();
    // Closing waits for the library's transfer thread, which holds `progress`, to end.
    context.CloseCamera();
    if (progress.terminal && reports > 0) {
        out.Partial("\n");
    }
    if (!done) {
        out.Message(progress.label + ": " +
                    (Interrupt::Requested() ? "interrupted" : "no final report in time"));
        return Interrupt::Requested() ? kExitInterrupted : kExitCameraError;
    }
    if (status != 1) {
        out.Message(progress.label + ": the camera reported a failure (" + std::to_string(status) + ")");
        return kExitCameraError;
    }
    if (const int code = pull ? Deliver(out, saved, savedExisted, file) : kExitOk; code != kExitOk) {
        return code;
    }
    out.Emit({{"direction", direction},
              {"type", number},
              {"index", index},
              {"file", file.string()},
              {"reports", reports}},
             progress.label + ": done (" + file.string() + ")");
    return kExitOk;
}

} // namespace orvane::cli
