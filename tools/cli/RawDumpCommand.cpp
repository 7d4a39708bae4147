// SPDX-License-Identifier: Apache-2.0
// `orvane-cli raw-dump`: switches the library's raw-buffer saving on in the chosen directory for a while.
#include "RawDumpCommand.h"

#include <chrono>
#include <filesystem>
#include <system_error>
#include <thread>

#include "CliContext.h"
#include "ExitCodes.h"
#include "Interrupt.h"

namespace orvane::cli {
namespace {

namespace fs = std::filesystem;
constexpr const char *kDumpPrefix = "raw_TOF_";
/// Lets a buffer being saved when the saving is switched off finish in the directory.
constexpr std::chrono::milliseconds kSettleTime{200};

} // namespace

void RawDumpCommand::Register(CLI::App &app)
{
    app.add_option("--dir", dir, "where the library saves the buffers (created when missing)");
    app.add_option("-t,--time", seconds, "seconds to leave the saving on")->check(CLI::Range(0.0, 3600.0));
}

std::map<std::string, uintmax_t> RawDumpCommand::DumpFiles(const std::string &directory)
{
    std::map<std::string, uintmax_t> files;
    std::error_code error;
    for (const fs::directory_entry &entry : fs::directory_iterator(directory, error)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(kDumpPrefix, 0) == 0 && entry.is_regular_file(error)) {
            files[name] = entry.file_size(error);
        }
    }
    return files;
}

int RawDumpCommand::Run(CliContext &context)
{
    std::error_code error;
    fs::create_directories(dir, error);
    if (error || !fs::is_directory(dir)) {
        context.Out().Message(dir + ": not a directory the buffers can be saved in");
        return kExitUsage;
    }
    if (const int code = context.OpenCamera(); code != kExitOk) {
        return code;
    }
    if (const int status = context.Camera().StartStream(); status != TF_OK) {
        return context.Fail("starting the stream", status);
    }
    const std::map<std::string, uintmax_t> before = DumpFiles(dir);
    // The library saves into the working directory: work in the chosen one meanwhile.
    const fs::path home = fs::current_path(error);
    fs::current_path(dir, error);
    if (error) {
        context.Out().Message(dir + ": " + error.message());
        return kExitUsage;
    }
    const int code = Dump(context);
    fs::current_path(home, error);
    if (code != kExitOk) {
        return code;
    }
    int saved = 0;
    for (const auto &[name, bytes] : DumpFiles(dir)) {
        const auto old = before.find(name);
        if (old == before.end() || old->second != bytes) {
            const std::string path = (fs::path(dir) / name).string();
            context.Out().Emit({{"file", path}, {"bytes", bytes}},
                               path + "  " + std::to_string(bytes) + " bytes");
            ++saved;
        }
    }
    if (saved == 0) {
        context.Out().Message(
            "nothing saved: no raw ToF buffer arrived (the camera's data mode may send none)");
    } else {
        context.Out().Message(std::to_string(saved) + " files saved in " + dir);
    }
    return kExitOk;
}

int RawDumpCommand::Dump(CliContext &context)
{
    const TfDeviceHandle device = context.Camera().Handle();
    if (const int status = TFCM_SetSaveRawBufferEnabled(device, true); status != TF_OK) {
        return context.Fail("TFCM_SetSaveRawBufferEnabled", status);
    }
    Interrupt::WaitFor(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::duration<double>(seconds)));
    const int status = TFCM_SetSaveRawBufferEnabled(device, false);
    std::this_thread::sleep_for(kSettleTime);
    return status == TF_OK ? kExitOk : context.Fail("TFCM_SetSaveRawBufferEnabled", status);
}

} // namespace orvane::cli
