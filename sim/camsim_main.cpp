// SPDX-License-Identifier: Apache-2.0
// orvane-camsim: simulated cameras on loopback addresses that announce themselves and serve their
// command and data connections, steered by commands on standard input.
#include "CameraSimulator.h"
#include "CamsimCommandReader.h"
#include "CamsimUpgradeCli.h"
#include "SimRecording.h"
#include "SimReplay.h"

#include <CLI/CLI.hpp>

#include <arpa/inet.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr unsigned kFirstHostByte = 2; // camera i defaults to 127.0.0.(2 + i)
constexpr unsigned kMaxCameras = 250;

bool IsIpv4(const std::string &text)
{
    in_addr address{};
    return inet_pton(AF_INET, text.c_str(), &address) == 1;
}

/// Parses a whole decimal number no greater than maxValue.
bool ParseNumber(const std::string &text, unsigned long maxValue, unsigned long &out)
{
    if (text.empty() || text.size() > 10 || text.find_first_not_of("0123456789") != std::string::npos) {
        return false;
    }
    out = std::stoul(text);
    return out <= maxValue;
}

bool ParseByte(const std::string &text, uint8_t &out)
{
    unsigned long value = 0;
    if (!ParseNumber(text, 255, value)) {
        return false;
    }
    out = static_cast<uint8_t>(value);
    return true;
}

SimCameraConfig DefaultCamera(unsigned index)
{
    SimCameraConfig config;
    char serial[16];
    std::snprintf(serial, sizeof serial, "SN%04u", index + 1);
    config.serial = serial;
    config.address = "127.0.0." + std::to_string(kFirstHostByte + index);
    return config;
}

/// Applies "key=value,key=value" to config; an error text on failure, else empty.
std::string ParseCameraOption(const std::string &text, SimCameraConfig &config)
{
    std::stringstream stream(text);
    std::string item;
    while (std::getline(stream, item, ',')) {
        const size_t equals = item.find('=');
        if (equals == std::string::npos) {
            return "'" + item + "' is not key=value";
        }
        const std::string key = item.substr(0, equals);
        const std::string value = item.substr(equals + 1);
        if (key == "serial") {
            if (value.empty()) {
                return "empty serial";
            }
            config.serial = value;
        } else if (key == "alias") {
            config.alias = value;
        } else if (key == "ip") {
            if (!IsIpv4(value)) {
                return "'" + value + "' is not an IPv4 address";
            }
            config.address = value;
        } else if (key == "tof" || key == "rgb" || key == "state") {
            uint8_t number = 0;
            if (!ParseByte(value, number)) {
                return key + " must be a number from 0 to 255";
            }
            (key == "tof" ? config.tofSessions : key == "rgb" ? config.colorSessions : config.state) = number;
        } else {
            return "unknown key '" + key + "' (serial, alias, ip, tof, rgb, state)";
        }
    }
    return {};
}

bool ParseDiscovery(const std::string &text, CameraSimulator::Options &options)
{
    const size_t colon = text.rfind(':');
    unsigned long port = 0;
    if (colon == std::string::npos || !IsIpv4(text.substr(0, colon)) ||
        !ParseNumber(text.substr(colon + 1), 65535, port) || port == 0) {
        return false;
    }
    options.discoveryAddress = text.substr(0, colon);
    options.discoveryPort = static_cast<uint16_t>(port);
    return true;
}

bool ParseFault(const std::string &text, CommandFault &out)
{
    static const std::pair<const char *, CommandFault> kFaults[] = {
        {"none", CommandFault::None},
        {"noanswer", CommandFault::NoAnswer},
        {"close", CommandFault::CloseConnection},
        {"marker", CommandFault::WrongMarker},
        {"oversized", CommandFault::OversizedDataLength},
    };
    for (const auto &fault : kFaults) {
        if (text == fault.first) {
            out = fault.second;
            return true;
        }
    }
    return false;
}

/// One line per recorded frame: session, milliseconds since the first frame, command, raw bytes in hex.
std::string DescribeFrames(const SimCamera &camera)
{
    std::string text;
    for (size_t session = 0; session < camera.Config().tofSessions; ++session) {
        const std::vector<RecordedFrame> frames = camera.RecordedFrames(session);
        for (const RecordedFrame &frame : frames) {
            const auto sinceMs =
                std::chrono::duration_cast<std::chrono::milliseconds>(frame.at - frames.front().at).count();
            char head[64];
            std::snprintf(head, sizeof head, "session %zu +%lldms cmd 0x%02X:", session,
                          static_cast<long long>(sinceMs), frame.command);
            text += head;
            for (uint8_t byte : frame.raw) {
                char hex[4];
                std::snprintf(hex, sizeof hex, " %02X", byte);
                text += hex;
            }
            text += "\n";
        }
    }
    return text;
}

std::string Describe(const SimCameraConfig &config)
{
    return "camera " + config.serial + " alias " + (config.alias.empty() ? "-" : config.alias) + " at " +
           config.address + " tof " + std::to_string(config.tofSessions) + " rgb " +
           std::to_string(config.colorSessions) + " state " + std::to_string(config.state);
}

/// What a command handler works on: the words of its line and the camera the second one names.
struct CommandCall
{
    CameraSimulator &simulator;
    const std::vector<std::string> &words;
    SimCamera *camera; ///< null for the commands that name no camera
    bool &quit;
};

using CommandHandler = std::string (*)(CommandCall &call);

/// One command of standard input: its name, its syntax and what it does (for help and for usage
/// errors), its word counts including the name (0: it names no camera and ignores its arguments),
/// and its handler, which returns the answer.
struct Command
{
    const char *name;
    const char *usage;
    const char *description;
    size_t minWords;
    size_t maxWords;
    CommandHandler handler;
};

const std::string kOk = "ok";

std::string ParseOnOff(const CommandCall &call, bool &on)
{
    if (call.words[2] != "on" && call.words[2] != "off") {
        return "error: " + call.words[0] + " takes on or off";
    }
    on = call.words[2] == "on";
    return {};
}

/// The argument of the commands that take a count or a number of milliseconds.
std::string ParseAmount(const CommandCall &call, unsigned &value)
{
    unsigned long number = 0;
    if (!ParseNumber(call.words[2], 600000, number)) {
        return "error: " + call.words[0] + " takes a number from 0 to 600000";
    }
    value = static_cast<unsigned>(number);
    return {};
}

std::string SetState(CommandCall &call)
{
    uint8_t state = 0;
    if (!ParseByte(call.words[2], state)) {
        return "error: the state must be a number from 0 to 255";
    }
    call.camera->SetState(state);
    return kOk;
}

std::string Silence(CommandCall &call)
{
    call.camera->SetAnnouncing(false);
    return kOk;
}

std::string AnnounceNow(CommandCall &call)
{
    call.camera->SetAnnouncing(true);
    if (!call.camera->AnnounceNow()) {
        return "error: " + call.camera->LastError();
    }
    return kOk;
}

std::string SetAddress(CommandCall &call)
{
    if (!IsIpv4(call.words[2])) {
        return "error: '" + call.words[2] + "' is not an IPv4 address";
    }
    call.camera->SetAddress(call.words[2]);
    return kOk;
}

std::string SendMalformed(CommandCall &call)
{
    MalformedKind kind = MalformedKind::Short;
    if (call.words[2] == "type") {
        kind = MalformedKind::WrongDeviceType;
    } else if (call.words[2] != "short") {
        return "error: malformed takes short or type";
    }
    if (!call.camera->SendMalformed(kind)) {
        return "error: " + call.camera->LastError();
    }
    return kOk;
}

std::string SetFault(CommandCall &call)
{
    CommandFault fault = CommandFault::None;
    if (!ParseFault(call.words[2], fault)) {
        return "error: fault takes none, noanswer, close, marker or oversized";
    }
    const bool counted = call.words.size() == 4;
    unsigned long count = 0;
    if (counted && (!ParseNumber(call.words[3], 1000000, count) || count == 0)) {
        return "error: the count must be a number from 1 to 1000000";
    }
    call.camera->SetCommandFault(fault, counted ? static_cast<int>(count) : -1);
    return kOk;
}

std::string SetReplyDelay(CommandCall &call)
{
    unsigned long delayMs = 0;
    if (!ParseNumber(call.words[2], 600000, delayMs)) {
        return "error: the delay must be a number of milliseconds from 0 to 600000";
    }
    call.camera->SetReplyDelayMs(static_cast<unsigned>(delayMs));
    return kOk;
}

std::string ShowFrames(CommandCall &call)
{
    return DescribeFrames(*call.camera) + kOk;
}

/// The commands with one amount, each a call on the camera's stream.
template <void (SimStreamer::*Apply)(unsigned)> std::string StreamAmount(CommandCall &call)
{
    unsigned value = 0;
    const std::string error = ParseAmount(call, value);
    if (!error.empty()) {
        return error;
    }
    (call.camera->Streamer().*Apply)(value);
    return kOk;
}

/// The commands with on or off, each a call on the camera's stream.
template <void (SimStreamer::*Apply)(bool)> std::string StreamSwitch(CommandCall &call)
{
    bool on = false;
    const std::string error = ParseOnOff(call, on);
    if (!error.empty()) {
        return error;
    }
    (call.camera->Streamer().*Apply)(on);
    return kOk;
}

std::string SetHeartbeat(CommandCall &call)
{
    bool on = false;
    const std::string error = ParseOnOff(call, on);
    if (!error.empty()) {
        return error;
    }
    call.camera->SetHeartbeatAnswered(on);
    return kOk;
}

std::string SetFramePeriod(CommandCall &call)
{
    unsigned long periodUs = 0;
    if (call.words[2] == "rate") {
        call.camera->Streamer().ClearFramePeriodOverride();
    } else if (ParseNumber(call.words[2], 10000000, periodUs)) {
        call.camera->Streamer().OverrideFramePeriod(std::chrono::microseconds(periodUs));
    } else {
        return "error: frame-period takes rate or a number of microseconds from 0 to 10000000";
    }
    return kOk;
}

std::string SetCalibrationDelay(CommandCall &call)
{
    unsigned long buffers = 0;
    unsigned long delayMs = 0;
    if (!ParseNumber(call.words[2], 1000000, buffers) || !ParseNumber(call.words[3], 600000, delayMs)) {
        return "error: calib-delay takes buffers from 0 to 1000000 and ms from 0 to 600000";
    }
    call.camera->Streamer().SetCalibrationDelay(static_cast<unsigned>(buffers),
                                                static_cast<unsigned>(delayMs));
    return kOk;
}

std::string SendBadBuffer(CommandCall &call)
{
    static const std::pair<const char *, SimBufferFault> kKinds[] = {
        {"truncated", SimBufferFault::TruncatedSubPacket},
        {"type", SimBufferFault::UnknownTypeId},
        {"short", SimBufferFault::ShortThenClose},
    };
    for (const auto &kind : kKinds) {
        if (call.words[2] == kind.first) {
            call.camera->Streamer().SetBufferFault(kind.second);
            return kOk;
        }
    }
    return "error: bad-buffer takes truncated, type or short";
}

/// Reads words[first ...] as finite numbers into `out`; false when one is not.
bool ParseReals(const std::vector<std::string> &words, size_t first, std::vector<double> &out)
{
    for (size_t i = first; i < words.size(); ++i) {
        char *end = nullptr;
        out.push_back(std::strtod(words[i].c_str(), &end));
        if (end == words[i].c_str() || *end != '\0' || !std::isfinite(out.back())) {
            return false;
        }
    }
    return true;
}

/// Changes the calibration of every session: what the camera reports and what it renders.
void UpdateCalibration(SimCamera &camera, const std::function<void(SimSettings &)> &update)
{
    for (size_t session = 0; session < camera.SessionCount(); ++session) {
        camera.UpdateSettings(update, session);
    }
}

std::string SetLens(CommandCall &call)
{
    std::vector<double> k;
    const bool tof = call.words[2] == "tof";
    if ((!tof && call.words[2] != "color") || !ParseReals(call.words, 3, k) ||
        (k.size() != 5 && k.size() != 8)) {
        return "error: lens takes tof or color and 5 or 8 numbers";
    }
    k.resize(8, 0.0);
    UpdateCalibration(*call.camera, [&](SimSettings &s) {
        std::copy(k.begin(), k.end(), (tof ? s.tofDistortion : s.colorDistortion).begin());
    });
    return kOk;
}

std::string SetExtrinsics(CommandCall &call)
{
    std::vector<double> e;
    if (!ParseReals(call.words, 2, e)) {
        return "error: extrinsics takes three angles in degrees and a translation in mm";
    }
    UpdateCalibration(*call.camera, [&](SimSettings &s) {
        s.SetExtrinsics(SimSettings::RotationFromDegrees(e[0], e[1], e[2]), {e[3], e[4], e[5]});
    });
    return kOk;
}

/// The ToF rendering's options: mixed pixels, radial distance.
std::string SetRendering(CommandCall &call)
{
    SimStreamer &streamer = call.camera->Streamer();
    SimGeometryOptions options = streamer.GetGeometryOptions();
    unsigned long samples = 0;
    std::string error;
    if (call.words[0] == "radial") {
        error = ParseOnOff(call, options.radialDepth);
    } else if (ParseNumber(call.words[2], Scene::kMaxSamplesPerAxis, samples) && samples > 0) {
        options.mixedSamplesPerAxis = static_cast<int>(samples);
    } else {
        error = "error: mixed takes rays per axis from 1 to " + std::to_string(Scene::kMaxSamplesPerAxis);
    }
    if (error.empty()) {
        streamer.SetGeometryOptions(options);
    }
    return error.empty() ? kOk : error;
}

std::string SetDroppedDepth(CommandCall &call)
{
    std::vector<double> fraction;
    RawTofEncoder::Options options = call.camera->Streamer().GetEncoderOptions();
    unsigned long seed = options.droppedSeed;
    if (!ParseReals({call.words[2]}, 0, fraction) || fraction[0] < 0.0 || fraction[0] > 1.0 ||
        (call.words.size() == 4 && !ParseNumber(call.words[3], 4294967295ul, seed))) {
        return "error: drop-depth takes a fraction from 0 to 1 and a whole seed";
    }
    options.droppedFraction = fraction[0];
    options.droppedSeed = static_cast<uint32_t>(seed);
    call.camera->Streamer().SetEncoderOptions(options);
    return kOk;
}

std::string ListCameras(CommandCall &call)
{
    std::string answer;
    for (size_t i = 0; i < call.simulator.CameraCount(); ++i) {
        SimCamera &camera = call.simulator.Camera(i);
        answer += Describe(camera.Config()) + (camera.IsAnnouncing() ? " announcing" : " silent") +
                  (camera.IsServing() ? " serving" : " not serving") + " sent " +
                  std::to_string(camera.AnnouncementsSent()) + "\n";
    }
    return answer + kOk;
}

std::string ShowHelp(CommandCall &call);

std::string Quit(CommandCall &call)
{
    call.quit = true;
    return kOk;
}

const Command kCommands[] = {
    {"state", "state <serial> <n>", "announce camera state n (0..255)", 3, 3, SetState},
    {"silent", "silent <serial>", "stop the periodic announcements", 2, 2, Silence},
    {"announce", "announce <serial>", "resume them and announce at once", 2, 2, AnnounceNow},
    {"address", "address <serial> <ip>", "announce from another address", 3, 3, SetAddress},
    {"malformed", "malformed <serial> short|type", "send one 88-byte or one wrong-type datagram", 3, 3,
     SendMalformed},
    {"fault", "fault <serial> none|noanswer|close|marker|oversized [count]",
     "misbehave on every query, or on the next count", 3, 4, SetFault},
    {"delay", "delay <serial> <ms>", "delay every answer", 3, 3, SetReplyDelay},
    {"frames", "frames <serial>", "show the request frames received, in hex", 2, 2, ShowFrames},
    {"status-delay", "status-delay <serial> <ms>", "let the status record trail the settings", 3, 3,
     StreamAmount<&SimStreamer::SetStatusDelayMs>},
    {"status-freeze", "status-freeze <serial> on|off", "on: the status record stops following the settings",
     3, 3, StreamSwitch<&SimStreamer::FreezeStatus>},
    {"status-stopped", "status-stopped <serial> on|off", "on: keep sending the status record while stopped",
     3, 3, StreamSwitch<&SimStreamer::SetStatusWhileStopped>},
    {"drop-tof", "drop-tof <serial> <n>", "send the next n frames without ToF data", 3, 3,
     StreamAmount<&SimStreamer::DropTof>},
    {"drop-color", "drop-color <serial> <n>", "send the next n frames without their colour image", 3, 3,
     StreamAmount<&SimStreamer::DropColor>},
    {"split-color", "split-color <serial> <n>",
     "send the colour image of the next n frames in a\nbuffer of its own, after the ToF buffer", 3, 3,
     StreamAmount<&SimStreamer::SplitColor>},
    {"frame-period", "frame-period <serial> <us>|rate",
     "send a frame every us microseconds (0: as fast as\nthe host reads), or at the frame rate again", 3, 3,
     SetFramePeriod},
    {"calib-delay", "calib-delay <serial> <buffers> <ms>",
     "once enabled, send the calibration block only after\nthat many buffers and milliseconds", 4, 4,
     SetCalibrationDelay},
    {"calib-withhold", "calib-withhold <serial> on|off", "on: never send the calibration block", 3, 3,
     StreamSwitch<&SimStreamer::WithholdCalibration>},
    {"heartbeat", "heartbeat <serial> on|off", "off: ignore heartbeats, still answer all else", 3, 3,
     SetHeartbeat},
    {"stall", "stall <serial> <ms>", "hold the next frame halfway for ms", 3, 3,
     StreamAmount<&SimStreamer::Stall>},
    {"bad-buffer", "bad-buffer <serial> truncated|type|short", "send one malformed stream buffer", 3, 3,
     SendBadBuffer},
    {"lens", "lens <serial> tof|color <k1> <k2> <p1> <p2> <k3> [<k4> <k5> <k6>]",
     "set a lens's distortion; the camera reports and\nrenders it", 8, 11, SetLens},
    {"extrinsics", "extrinsics <serial> <xdeg> <ydeg> <zdeg> <tx> <ty> <tz>",
     "set the ToF-to-colour rotation (about x, then y,\nthen z) and translation in mm", 8, 8, SetExtrinsics},
    {"mixed", "mixed <serial> <n>", "ToF pixels average n x n rays (edge pixels mix)", 3, 3, SetRendering},
    {"radial", "radial <serial> on|off", "on: the camera measures distance along the ray", 3, 3,
     SetRendering},
    {"drop-depth", "drop-depth <serial> <fraction> [seed]", "send that fraction of computed depth as 0", 3, 4,
     SetDroppedDepth},
    {"list", "list", "show the cameras", 0, 0, ListCameras},
    {"help", "help", "show these commands", 0, 0, ShowHelp},
    {"quit", "quit", "stop the cameras and exit", 0, 0, Quit},
};

/// The command list, one command per row: its syntax in a column, then what it does.
std::string HelpText()
{
    constexpr size_t kUsageColumn = 30;
    const std::string indent(2 + kUsageColumn + 1, ' ');
    std::string text = "commands:";
    for (const Command &command : kCommands) {
        const std::string usage = command.usage;
        text += "\n  " + usage;
        // A syntax too wide for its column puts the description on the lines below it.
        text +=
            usage.size() > kUsageColumn ? "\n" + indent : std::string(kUsageColumn + 1 - usage.size(), ' ');
        for (const char *c = command.description; *c != '\0'; ++c) {
            text += *c == '\n' ? "\n" + indent : std::string(1, *c);
        }
    }
    return text;
}

std::string ShowHelp(CommandCall &)
{
    return HelpText() + "\n" + kOk;
}

/// Runs one command line and returns its answer (without the final newline).
std::string Execute(CameraSimulator &simulator, const std::string &line, bool &quit)
{
    std::istringstream stream(line);
    std::vector<std::string> words;
    for (std::string word; stream >> word;) {
        words.push_back(word);
    }
    if (words.empty()) {
        return "error: empty command";
    }
    const Command *command = nullptr;
    for (const Command &candidate : kCommands) {
        if (words[0] == candidate.name) {
            command = &candidate;
        }
    }
    if (command == nullptr) {
        return "error: unknown command '" + words[0] + "' (try help)";
    }
    CommandCall call{simulator, words, nullptr, quit};
    if (command->minWords != 0) {
        if (words.size() < command->minWords || words.size() > command->maxWords) {
            return std::string("error: usage: ") + command->usage;
        }
        call.camera = simulator.FindCamera(words[1]);
        if (call.camera == nullptr) {
            return "error: no camera " + words[1];
        }
    }
    return command->handler(call);
}

/// What the command line asks for.
struct Setup
{
    CameraSimulator::Options options;
    std::vector<SimCameraConfig> configs;
    bool exitOnEof = false;
    CamsimUpgradeCli upgrade;
    std::string replayPath; // empty: the cameras render their scene
    SimReplayOptions replay;
    SimRecording recording;
};

/// Reads the recording of --replay and gives the one camera its recorded serial; an error text or empty.
std::string PrepareReplay(Setup &setup)
{
    if (setup.replayPath.empty()) {
        return {};
    }
    if (setup.configs.size() != 1) {
        return "--replay serves one camera";
    }
    std::string error;
    if (!setup.recording.Load(setup.replayPath, error)) {
        return error;
    }
    if (!setup.recording.Serial().empty()) {
        setup.configs[0].serial = setup.recording.Serial();
    }
    return {};
}

/// The cameras of --cameras and --camera; an error text on failure, else empty.
std::string BuildCameras(unsigned cameraCount, const std::vector<std::string> &cameraOptions,
                         std::vector<SimCameraConfig> &configs)
{
    if (cameraCount == 0 && cameraOptions.empty()) {
        cameraCount = 1;
    }
    if (cameraCount + cameraOptions.size() > kMaxCameras) {
        return "at most " + std::to_string(kMaxCameras) + " cameras";
    }
    for (unsigned i = 0; i < cameraCount; ++i) {
        configs.push_back(DefaultCamera(i));
    }
    for (const std::string &option : cameraOptions) {
        SimCameraConfig config = DefaultCamera(static_cast<unsigned>(configs.size()));
        const std::string error = ParseCameraOption(option, config);
        if (!error.empty()) {
            return "--camera " + option + ": " + error;
        }
        configs.push_back(config);
    }
    std::set<std::string> serials;
    for (const SimCameraConfig &config : configs) {
        if (!serials.insert(config.serial).second) {
            return "two cameras named " + config.serial;
        }
    }
    return {};
}

/// Reads the command line into `setup`; -1 to go on, else the exit code.
int ReadCommandLine(int argc, char **argv, Setup &setup)
{
    CLI::App app{"Simulated network depth cameras that announce themselves to the discovery port and "
                 "serve their command and data connections."};
    unsigned cameraCount = 0;
    std::vector<std::string> cameraOptions;
    unsigned periodMs = 1000;
    std::string discovery = "127.0.0.1:9007";
    bool noServe = false;
    bool statusWhileStopped = false;
    bool wallClock = false;
    app.add_option("--cameras", cameraCount, "N default cameras SN0001..., at 127.0.0.2, 127.0.0.3, ...")
        ->check(CLI::Range(0u, kMaxCameras));
    app.add_option("--camera", cameraOptions,
                   "one more camera: serial=SN,alias=A,ip=127.0.0.9,tof=2,rgb=1,state=0")
        ->allow_extra_args(false);
    app.add_option("--period-ms", periodMs, "announcement period in milliseconds")
        ->capture_default_str()
        ->check(CLI::Range(1u, 3600000u));
    app.add_option("--discovery", discovery, "where announcements go, address:port")->capture_default_str();
    app.add_flag("--exit-on-eof", setup.exitOnEof, "exit at the end of standard input");
    app.add_flag("--no-serve", noServe, "only announce; do not serve the command and data connections");
    app.add_flag("--status-while-stopped", statusWhileStopped,
                 "cameras keep sending their status record while their stream is stopped");
    app.add_flag("--wall-clock", wallClock,
                 "frame timestamps are microseconds since the Unix epoch (to measure latency on this host)");
    app.add_option("--replay", setup.replayPath,
                   "serve a raw recording as the camera (its identity, settings and buffers)")
        ->check(CLI::ExistingFile);
    app.add_flag("--loop", setup.replay.loop, "with --replay: start again after the last buffer");
    app.add_option("--rate", setup.replay.rate, "with --replay: pace factor, 0 sends as fast as read")
        ->capture_default_str()
        ->check(CLI::Range(0.0, 1000.0));
    setup.upgrade.Register(app);
    app.footer(HelpText());
    CLI11_PARSE(app, argc, argv);
    if (const int written = setup.upgrade.WriteFirmwareIfAsked(); written >= 0) {
        return written;
    }
    setup.options.upgrade = setup.upgrade.Options();

    setup.options.announcePeriodMs = periodMs;
    setup.options.serveConnections = !noServe;
    if (!ParseDiscovery(discovery, setup.options)) {
        std::fprintf(stderr, "orvane-camsim: --discovery wants address:port, got '%s'\n", discovery.c_str());
        return 2;
    }
    std::string error = BuildCameras(cameraCount, cameraOptions, setup.configs);
    if (error.empty()) {
        error = PrepareReplay(setup);
    }
    if (!error.empty()) {
        std::fprintf(stderr, "orvane-camsim: %s\n", error.c_str());
        return 2;
    }
    for (SimCameraConfig &config : setup.configs) {
        config.statusWhileStopped = statusWhileStopped;
        config.wallClockTimestamps = wallClock;
    }
    return -1;
}

} // namespace

int main(int argc, char **argv)
{
    Setup setup;
    const int exitCode = ReadCommandLine(argc, argv, setup);
    if (exitCode >= 0) {
        return exitCode;
    }

    // Blocked before any thread starts so that every thread inherits the mask and the signals arrive
    // only through the descriptor polled below.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
    const int signalFd = signalfd(-1, &signals, SFD_CLOEXEC);
    if (signalFd < 0) {
        std::perror("orvane-camsim: signalfd");
        return 1;
    }

    CameraSimulator simulator(setup.options);
    for (const SimCameraConfig &config : setup.configs) {
        SimCamera &camera = simulator.AddCamera(config);
        std::string error;
        if (!setup.replayPath.empty() &&
            !SimReplay::Attach(camera, setup.recording, setup.replayPath, setup.replay, error)) {
            std::fprintf(stderr, "orvane-camsim: %s\n", error.c_str());
            close(signalFd);
            return 2;
        }
        CamsimCommandReader::Answer(Describe(config));
    }
    simulator.Start();
    CamsimCommandReader::Answer("ready");
    CamsimCommandReader reader(
        [&simulator](const std::string &line, bool &quit) { return Execute(simulator, line, quit); });
    reader.Serve(signalFd, setup.exitOnEof);
    simulator.Stop();
    close(signalFd);
    return 0;
}
