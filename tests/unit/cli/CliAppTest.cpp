// SPDX-License-Identifier: Apache-2.0
// orvane-cli's command line: what parses, what is refused with the usage exit code, and what a parse chose.
#include <gtest/gtest.h>

#include <sstream>

#include "CliApp.h"
#include "ExitCodes.h"
#include "ListCommand.h"
#include "StatusNames.h"

namespace orvane::cli {
namespace {

struct Parsed
{
    int code;
    std::string err;
};

Parsed ParseWith(CliApp &app, const std::vector<std::string> &args)
{
    std::ostringstream out;
    std::ostringstream err;
    const int code = app.Parse(args, out, err);
    return {code, err.str()};
}

TEST(CliApp, CommonOptionsComeBeforeOrAfterTheSubcommand)
{
    CliApp app;
    ASSERT_EQ(
        ParseWith(app, {"--uri", "KR52CPro:SN1", "list", "--watch", "--json", "--wait", "250", "-vv"}).code,
        kExitOk);
    EXPECT_EQ(app.Options().uri, "KR52CPro:SN1");
    EXPECT_TRUE(app.Options().json);
    EXPECT_EQ(app.Options().waitMs, 250);
    EXPECT_EQ(app.Options().verbose, 2);
    auto *list = dynamic_cast<ListCommand *>(app.Chosen());
    ASSERT_NE(list, nullptr);
    EXPECT_TRUE(list->watch);
}

TEST(CliApp, RefusedCommandLinesGiveTheUsageCode)
{
    const std::vector<std::vector<std::string>> refused = {
        {},                                         // no subcommand
        {"frobnicate"},                             // unknown subcommand
        {"list", "--bogus"},                        // unknown option
        {"--ip", "300.1.2.3", "list"},              // not an IPv4 address
        {"--uri", "A:1", "--alias", "cam", "list"}, // two ways of choosing the camera
        {"--wait", "-5", "list"},                   // negative wait
        {"--wait", "soon", "list"},                 // not a number
    };
    for (const auto &args : refused) {
        CliApp app;
        const Parsed parsed = ParseWith(app, args);
        SCOPED_TRACE(args.empty() ? "(none)" : args.front());
        EXPECT_EQ(parsed.code, kExitUsage);
        EXPECT_FALSE(parsed.err.empty());
        EXPECT_EQ(app.Chosen(), nullptr);
    }
}

TEST(CliApp, HelpAndVersionFinishWithoutChoosingASubcommand)
{
    for (const char *flag : {"--help", "--version"}) {
        CliApp app;
        std::ostringstream out;
        std::ostringstream err;
        EXPECT_EQ(app.Parse({flag}, out, err), kExitOk);
        EXPECT_TRUE(app.Finished());
        EXPECT_NE(out.str().find(std::string(flag) == "--help" ? "list" : "1.0.2"), std::string::npos);
    }
}

TEST(StatusNames, KnownAndUnknownCodes)
{
    EXPECT_EQ(StatusName(-105), "TF_ERROR_NOT_CONFIRMED");
    EXPECT_EQ(StatusName(-9), "TF_STATUS_-9");
}

} // namespace
} // namespace orvane::cli
