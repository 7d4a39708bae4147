// SPDX-License-Identifier: Apache-2.0
// orvane-cli's command line: the common options and the subcommands, parsed apart from running them.
#include "CliApp.h"

#include <algorithm>
#include <iostream>

#include "CliContext.h"
#include "CliOutput.h"
#include "ExitCodes.h"
#include "GetCommand.h"
#include "InfoCommand.h"
#include "InspectCommand.h"
#include "Interrupt.h"
#include "ListCommand.h"
#include "Orvane_api.h"
#include "ParamsCommand.h"
#include "RawDumpCommand.h"
#include "RecordCommand.h"
#include "ReplayCommand.h"
#include "SaveCommand.h"
#include "SetCommand.h"
#include "StreamCommand.h"
#include "TransferCommand.h"
#include "UpgradeCommand.h"
#include "ViewCommand.h"

namespace orvane::cli {
namespace {

std::vector<std::unique_ptr<Subcommand>> AllSubcommands()
{
    std::vector<std::unique_ptr<Subcommand>> all;
    all.push_back(std::make_unique<ListCommand>());
    all.push_back(std::make_unique<InfoCommand>());
    all.push_back(std::make_unique<StreamCommand>());
    all.push_back(std::make_unique<SaveCommand>());
    all.push_back(std::make_unique<GetCommand>());
    all.push_back(std::make_unique<SetCommand>());
    all.push_back(std::make_unique<ParamsCommand>());
    all.push_back(std::make_unique<RecordCommand>());
    all.push_back(std::make_unique<ReplayCommand>());
    all.push_back(std::make_unique<InspectCommand>());
    all.push_back(std::make_unique<RawDumpCommand>());
    all.push_back(std::make_unique<UpgradeCommand>());
    all.push_back(std::make_unique<TransferCommand>());
    all.push_back(std::make_unique<ViewCommand>());
    return all;
}

std::string LibraryVersion()
{
    char version[6] = {};
    TFCM_GetSDKVersion(version);
    return std::string("orvane-cli, library ") + version;
}

} // namespace

CliApp::CliApp() : CliApp(AllSubcommands())
{
}

CliApp::CliApp(std::vector<std::unique_ptr<Subcommand>> subcommands)
    : m_app("Lists, inspects, streams, records and configures depth cameras.", "orvane-cli"),
      m_subcommands(std::move(subcommands))
{
    Setup();
}

void CliApp::Setup()
{
    m_app.option_defaults()->always_capture_default();
    m_app.set_version_flag("--version", LibraryVersion());
    m_app.require_subcommand(1);
    m_app.fallthrough(); // common options may come after the subcommand too
    auto *uri = m_app.add_option("-u,--uri", m_options.uri, "the camera's URI (model:serial number)");
    auto *alias = m_app.add_option("--alias", m_options.alias, "the camera's alias");
    auto *ip = m_app.add_option("--ip", m_options.ip, "the camera's IPv4 address")->check(CLI::ValidIPV4);
    uri->excludes(alias)->excludes(ip);
    alias->excludes(ip);
    m_app.add_option("--wait", m_options.waitMs, "milliseconds to wait for the camera (list: to listen)")
        ->check(CLI::Range(0, 3600000));
    m_app.add_flag("--json", m_options.json, "JSON Lines on stdout, messages on stderr");
    m_app.add_flag("-v,--verbose", m_options.verbose, "more messages on stderr (repeat for more)");
    for (const auto &subcommand : m_subcommands) {
        CLI::App *subapp = m_app.add_subcommand(subcommand->Name(), subcommand->Description());
        subcommand->Register(*subapp);
        m_subapps.push_back(subapp);
    }
}

int CliApp::Parse(const std::vector<std::string> &args, std::ostream &out, std::ostream &err)
{
    m_chosen = nullptr;
    m_finished = false;
    std::vector<std::string> reversed(args.rbegin(), args.rend()); // CLI11 takes them last first
    try {
        m_app.parse(reversed);
    } catch (const CLI::CallForHelp &e) {
        m_finished = true;
        return m_app.exit(e, out, err);
    } catch (const CLI::CallForAllHelp &e) {
        m_finished = true;
        return m_app.exit(e, out, err);
    } catch (const CLI::CallForVersion &e) {
        m_finished = true;
        return m_app.exit(e, out, err);
    } catch (const CLI::ParseError &e) {
        m_app.exit(e, out, err);
        return kExitUsage;
    }
    for (size_t i = 0; i < m_subapps.size(); ++i) {
        if (m_subapps[i]->parsed()) {
            m_chosen = m_subcommands[i].get();
        }
    }
    return m_chosen != nullptr ? kExitOk : kExitUsage;
}

int CliApp::Run(std::ostream &out, std::ostream &err)
{
    if (m_chosen == nullptr) {
        return kExitUsage;
    }
    CliOutput output(m_options.json, m_options.verbose, out, err);
    CliContext context(m_options, output);
    int code = m_chosen->Run(context);
    context.Close();
    if (Interrupt::Requested() && code == kExitOk) {
        code = kExitInterrupted;
    }
    return code;
}

int RunCli(int argc, const char *const *argv)
{
    CliApp app;
    std::vector<std::string> args(argv + std::min(argc, 1), argv + argc);
    const int parsed = app.Parse(args, std::cout, std::cerr);
    if (parsed != kExitOk || app.Finished()) {
        return parsed;
    }
    Interrupt::Install();
    return app.Run(std::cout, std::cerr);
}

} // namespace orvane::cli
