// SPDX-License-Identifier: Apache-2.0
// orvane-camsim: simulated cameras on loopback addresses that announce themselves and serve their
// command and data connections, steered by commands on standard input.
#include "CameraSimulator.h"

#include <CLI/CLI.hpp>

#include <arpa/inet.h>
#include <poll.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr unsigned kFirstHostByte = 2; // camera i defaults to 127.0.0.(2 + i)
constexpr unsigned kMaxCameras = 250;
constexpr size_t kMaxLineChars = 4096;

const char *const kHelp =
    "commands:\n"
    "  state <serial> <n>             announce camera state n (0..255)\n"
    "  silent <serial>                stop the periodic announcements\n"
    "  announce <serial>              resume them and announce at once\n"
    "  address <serial> <ip>          announce from another address\n"
    "  malformed <serial> short|type  send one 88-byte or one wrong-type datagram\n"
    "  fault <serial> none|noanswer|close|marker|oversized [count]\n"
    "                                 misbehave on every query, or on the next count\n"
    "  delay <serial> <ms>            delay every answer\n"
    "  frames <serial>                show the request frames received, in hex\n"
    "  status-delay <serial> <ms>     let the status record trail the settings\n"
    "  status-freeze <serial> on|off  on: the status record stops following the settings\n"
    "  drop-tof <serial> <n>          send the next n frames without ToF data\n"
    "  drop-color <serial> <n>        send the next n frames without their colour image\n"
    "  split-color <serial> <n>       send the colour image of the next n frames in a\n"
    "                                 buffer of its own, after the ToF buffer\n"
    "  frame-period <serial> <us>|rate\n"
    "                                 send a frame every us microseconds (0: as fast as\n"
    "                                 the host reads), or at the frame rate again\n"
    "  calib-delay <serial> <buffers> <ms>\n"
    "                                 once enabled, send the calibration block only after\n"
    "                                 that many buffers and milliseconds\n"
    "  calib-withhold <serial> on|off on: never send the calibration block\n"
    "  heartbeat <serial> on|off      off: ignore heartbeats, still answer all else\n"
    "  stall <serial> <ms>            hold the next frame halfway for ms\n"
    "  bad-buffer <serial> truncated|type|short\n"
    "                                 send one malformed stream buffer\n"
    "  list                           show the cameras\n"
    "  help                           show these commands\n"
    "  quit                           stop the cameras and exit";

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
    const std::string &command = words[0];
    if (command == "quit") {
        quit = true;
        return "ok";
    }
    if (command == "help") {
        return std::string(kHelp) + "\nok";
    }
    if (command == "list") {
        std::string answer;
        for (size_t i = 0; i < simulator.CameraCount(); ++i) {
            SimCamera &camera = simulator.Camera(i);
            answer += Describe(camera.Config()) + (camera.IsAnnouncing() ? " announcing" : " silent") +
                      (camera.IsServing() ? " serving" : " not serving") + " sent " +
                      std::to_string(camera.AnnouncementsSent()) + "\n";
        }
        return answer + "ok";
    }

    struct Usage
    {
        const char *name;
        size_t words;
        const char *text;
    };
    static const Usage kUsages[] = {
        {"fault", 3, "fault <serial> none|noanswer|close|marker|oversized [count]"},
        {"delay", 3, "delay <serial> <ms>"},
        {"frames", 2, "frames <serial>"},
        {"state", 3, "state <serial> <n>"},
        {"silent", 2, "silent <serial>"},
        {"announce", 2, "announce <serial>"},
        {"address", 3, "address <serial> <ip>"},
        {"malformed", 3, "malformed <serial> short|type"},
        {"status-delay", 3, "status-delay <serial> <ms>"},
        {"drop-tof", 3, "drop-tof <serial> <n>"},
        {"stall", 3, "stall <serial> <ms>"},
        {"bad-buffer", 3, "bad-buffer <serial> truncated|type|short"},
        {"status-freeze", 3, "status-freeze <serial> on|off"},
        {"drop-color", 3, "drop-color <serial> <n>"},
        {"split-color", 3, "split-color <serial> <n>"},
        {"frame-period", 3, "frame-period <serial> <us>|rate"},
        {"calib-delay", 4, "calib-delay <serial> <buffers> <ms>"},
        {"calib-withhold", 3, "calib-withhold <serial> on|off"},
        {"heartbeat", 3, "heartbeat <serial> on|off"},
    };
    const Usage *usage = nullptr;
    for (const Usage &candidate : kUsages) {
        if (command == candidate.name) {
            usage = &candidate;
        }
    }
    if (usage == nullptr) {
        return "error: unknown command '" + command + "' (try help)";
    }
    const bool optionalCount = command == "fault" && words.size() == usage->words + 1;
    if (words.size() != usage->words && !optionalCount) {
        return std::string("error: usage: ") + usage->text;
    }
    SimCamera *camera = simulator.FindCamera(words[1]);
    if (camera == nullptr) {
        return "error: no camera " + words[1];
    }

    if (command == "fault") {
        CommandFault fault = CommandFault::None;
        if (!ParseFault(words[2], fault)) {
            return "error: fault takes none, noanswer, close, marker or oversized";
        }
        unsigned long count = 0;
        if (optionalCount && (!ParseNumber(words[3], 1000000, count) || count == 0)) {
            return "error: the count must be a number from 1 to 1000000";
        }
        camera->SetCommandFault(fault, optionalCount ? static_cast<int>(count) : -1);
    } else if (command == "delay") {
        unsigned long delayMs = 0;
        if (!ParseNumber(words[2], 600000, delayMs)) {
            return "error: the delay must be a number of milliseconds from 0 to 600000";
        }
        camera->SetReplyDelayMs(static_cast<unsigned>(delayMs));
    } else if (command == "frames") {
        return DescribeFrames(*camera) + "ok";
    } else if (command == "state") {
        uint8_t state = 0;
        if (!ParseByte(words[2], state)) {
            return "error: the state must be a number from 0 to 255";
        }
        camera->SetState(state);
    } else if (command == "silent") {
        camera->SetAnnouncing(false);
    } else if (command == "announce") {
        camera->SetAnnouncing(true);
        if (!camera->AnnounceNow()) {
            return "error: " + camera->LastError();
        }
    } else if (command == "address") {
        if (!IsIpv4(words[2])) {
            return "error: '" + words[2] + "' is not an IPv4 address";
        }
        camera->SetAddress(words[2]);
    } else if (command == "malformed") {
        MalformedKind kind = MalformedKind::Short;
        if (words[2] == "type") {
            kind = MalformedKind::WrongDeviceType;
        } else if (words[2] != "short") {
            return "error: malformed takes short or type";
        }
        if (!camera->SendMalformed(kind)) {
            return "error: " + camera->LastError();
        }
    } else if (command == "status-freeze" || command == "calib-withhold" || command == "heartbeat") {
        if (words[2] != "on" && words[2] != "off") {
            return "error: " + command + " takes on or off";
        }
        const bool on = words[2] == "on";
        if (command == "status-freeze") {
            camera->Streamer().FreezeStatus(on);
        } else if (command == "calib-withhold") {
            camera->Streamer().WithholdCalibration(on);
        } else {
            camera->SetHeartbeatAnswered(on);
        }
    } else if (command == "frame-period") {
        unsigned long periodUs = 0;
        if (words[2] == "rate") {
            camera->Streamer().ClearFramePeriodOverride();
        } else if (ParseNumber(words[2], 10000000, periodUs)) {
            camera->Streamer().OverrideFramePeriod(std::chrono::microseconds(periodUs));
        } else {
            return "error: frame-period takes rate or a number of microseconds from 0 to 10000000";
        }
    } else if (command == "calib-delay") {
        unsigned long buffers = 0;
        unsigned long delayMs = 0;
        if (!ParseNumber(words[2], 1000000, buffers) || !ParseNumber(words[3], 600000, delayMs)) {
            return "error: calib-delay takes buffers from 0 to 1000000 and ms from 0 to 600000";
        }
        camera->Streamer().SetCalibrationDelay(static_cast<unsigned>(buffers),
                                               static_cast<unsigned>(delayMs));
    } else if (command == "status-delay" || command == "drop-tof" || command == "stall" ||
               command == "drop-color" || command == "split-color") {
        unsigned long value = 0;
        if (!ParseNumber(words[2], 600000, value)) {
            return "error: " + command + " takes a number from 0 to 600000";
        }
        SimStreamer &streamer = camera->Streamer();
        if (command == "status-delay") {
            streamer.SetStatusDelayMs(static_cast<unsigned>(value));
        } else if (command == "drop-tof") {
            streamer.DropTof(static_cast<unsigned>(value));
        } else if (command == "drop-color") {
            streamer.DropColor(static_cast<unsigned>(value));
        } else if (command == "split-color") {
            streamer.SplitColor(static_cast<unsigned>(value));
        } else {
            streamer.Stall(static_cast<unsigned>(value));
        }
    } else if (command == "bad-buffer") {
        const std::map<std::string, SimBufferFault> kinds = {
            {"truncated", SimBufferFault::TruncatedSubPacket},
            {"type", SimBufferFault::UnknownTypeId},
            {"short", SimBufferFault::ShortThenClose}};
        const auto kind = kinds.find(words[2]);
        if (kind == kinds.end()) {
            return "error: bad-buffer takes truncated, type or short";
        }
        camera->Streamer().SetBufferFault(kind->second);
    }
    return "ok";
}

void Answer(const std::string &text)
{
    std::printf("%s\n", text.c_str());
    std::fflush(stdout);
}

/// Splits standard input into command lines and runs them; a line too long to be a command is dropped.
class CommandReader
{
public:
    explicit CommandReader(CameraSimulator &simulator) : m_simulator(simulator) {}

    /// Runs the complete lines in `data`; true when a command asked to quit.
    bool Feed(const char *data, size_t size)
    {
        m_pending.append(data, size);
        for (size_t end = m_pending.find('\n'); end != std::string::npos; end = m_pending.find('\n')) {
            std::string line = m_pending.substr(0, end);
            m_pending.erase(0, end + 1);
            if (m_discarding) {
                m_discarding = false;
                continue;
            }
            if (RunLine(line)) {
                return true;
            }
        }
        if (m_pending.size() > kMaxLineChars) {
            if (!m_discarding) {
                Answer("error: line longer than " + std::to_string(kMaxLineChars) + " characters");
            }
            m_pending.clear();
            m_discarding = true;
        }
        return false;
    }

    /// End of input: an unfinished last line still counts. True when it asked to quit.
    bool Finish()
    {
        if (m_pending.empty() || m_discarding) {
            return false;
        }
        return Feed("\n", 1);
    }

private:
    bool RunLine(std::string line)
    {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        const size_t first = line.find_first_not_of(" \t");
        if (first == std::string::npos || line[first] == '#') {
            return false;
        }
        bool quit = false;
        Answer(Execute(m_simulator, line, quit));
        return quit;
    }

    CameraSimulator &m_simulator;
    std::string m_pending;
    bool m_discarding = false; // the rest of an overlong line is still coming
};

} // namespace

int main(int argc, char **argv)
{
    CLI::App app{"Simulated network depth cameras that announce themselves to the discovery port and "
                 "serve their command and data connections."};
    unsigned cameraCount = 0;
    std::vector<std::string> cameraOptions;
    unsigned periodMs = 1000;
    std::string discovery = "127.0.0.1:9007";
    bool exitOnEof = false;
    bool noServe = false;
    app.add_option("--cameras", cameraCount, "N default cameras SN0001..., at 127.0.0.2, 127.0.0.3, ...")
        ->check(CLI::Range(0u, kMaxCameras));
    app.add_option("--camera", cameraOptions,
                   "one more camera: serial=SN,alias=A,ip=127.0.0.9,tof=2,rgb=1,state=0")
        ->allow_extra_args(false);
    app.add_option("--period-ms", periodMs, "announcement period in milliseconds")
        ->capture_default_str()
        ->check(CLI::Range(1u, 3600000u));
    app.add_option("--discovery", discovery, "where announcements go, address:port")->capture_default_str();
    app.add_flag("--exit-on-eof", exitOnEof, "exit at the end of standard input");
    app.add_flag("--no-serve", noServe, "only announce; do not serve the command and data connections");
    app.footer(kHelp);
    CLI11_PARSE(app, argc, argv);

    CameraSimulator::Options options;
    options.announcePeriodMs = periodMs;
    options.serveConnections = !noServe;
    if (!ParseDiscovery(discovery, options)) {
        std::fprintf(stderr, "orvane-camsim: --discovery wants address:port, got '%s'\n", discovery.c_str());
        return 2;
    }
    if (cameraCount == 0 && cameraOptions.empty()) {
        cameraCount = 1;
    }
    if (cameraCount + cameraOptions.size() > kMaxCameras) {
        std::fprintf(stderr, "orvane-camsim: at most %u cameras\n", kMaxCameras);
        return 2;
    }
    std::vector<SimCameraConfig> configs;
    for (unsigned i = 0; i < cameraCount; ++i) {
        configs.push_back(DefaultCamera(i));
    }
    for (const std::string &option : cameraOptions) {
        SimCameraConfig config = DefaultCamera(static_cast<unsigned>(configs.size()));
        const std::string error = ParseCameraOption(option, config);
        if (!error.empty()) {
            std::fprintf(stderr, "orvane-camsim: --camera %s: %s\n", option.c_str(), error.c_str());
            return 2;
        }
        configs.push_back(config);
    }
    std::set<std::string> serials;
    for (const SimCameraConfig &config : configs) {
        if (!serials.insert(config.serial).second) {
            std::fprintf(stderr, "orvane-camsim: two cameras named %s\n", config.serial.c_str());
            return 2;
        }
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

    CameraSimulator simulator(options);
    for (const SimCameraConfig &config : configs) {
        simulator.AddCamera(config);
        Answer(Describe(config));
    }
    simulator.Start();
    Answer("ready");

    CommandReader reader(simulator);
    bool inputOpen = true;
    for (;;) {
        pollfd fds[2] = {{signalFd, POLLIN, 0}, {inputOpen ? STDIN_FILENO : -1, POLLIN, 0}};
        if (poll(fds, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            std::perror("orvane-camsim: poll");
            break;
        }
        if (fds[0].revents != 0) {
            break; // SIGINT or SIGTERM
        }
        if (fds[1].revents == 0) {
            continue;
        }
        char buffer[4096];
        const ssize_t count = read(STDIN_FILENO, buffer, sizeof buffer);
        if (count < 0 && (errno == EINTR || errno == EAGAIN)) {
            continue;
        }
        if (count > 0) {
            if (reader.Feed(buffer, static_cast<size_t>(count))) {
                break;
            }
            continue;
        }
        // End of input, or an input that cannot be read.
        inputOpen = false;
        if (reader.Finish() || exitOnEof) {
            break;
        }
    }
    simulator.Stop();
    close(signalFd);
    return 0;
}
