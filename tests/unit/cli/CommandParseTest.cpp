// SPDX-License-Identifier: Apache-2.0
// The command lines of info, get, set, params, upgrade, transfer, stream and save: what they bind, and what
// the parser refuses before anything runs.
#include <gtest/gtest.h>

#include <sstream>

#include "CliApp.h"
#include "ExitCodes.h"
#include "ParamsCommand.h"
#include "SaveCommand.h"
#include "StreamCommand.h"
#include "TransferCommand.h"
#include "UpgradeCommand.h"

namespace orvane::cli {
namespace {

int Parse(CliApp &app, const std::vector<std::string> &args)
{
    std::ostringstream out;
    std::ostringstream err;
    return app.Parse(args, out, err);
}

TEST(CommandParse, OptionalArgumentsBindWhereTheyBelong)
{
    CliApp transfer;
    ASSERT_EQ(Parse(transfer, {"transfer", "pull", "planeness", "2", "out.bin"}), kExitOk);
    auto *t = dynamic_cast<TransferCommand *>(transfer.Chosen());
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->rest, (std::vector<std::string>{"2", "out.bin"}));
    EXPECT_EQ(TransferCommand::SavedPath(*TransferCommand::TypeNumber(t->type), 2),
              "./Config/planeness_2.bin");
    EXPECT_EQ(TransferCommand::SavedPath(7, 3), "./Config/ir_background.bin")
        << "one file, whatever the index";

    CliApp params;
    ASSERT_EQ(Parse(params, {"params", "dump"}), kExitOk);
    auto *p = dynamic_cast<ParamsCommand *>(params.Chosen());
    ASSERT_NE(p, nullptr);
    EXPECT_TRUE(p->Dumping());
    EXPECT_TRUE(p->dumpFile.empty()) << "no file: stdout";

    CliApp upgrade;
    ASSERT_EQ(Parse(upgrade, {"upgrade", "fw.img", "-y"}), kExitOk);
    auto *u = dynamic_cast<UpgradeCommand *>(upgrade.Chosen());
    ASSERT_NE(u, nullptr);
    EXPECT_TRUE(u->yes);
    EXPECT_EQ(u->image, "fw.img");
}

TEST(CommandParse, IncompleteOrUnknownArgumentsAreUsageErrors)
{
    const std::vector<std::vector<std::string>> refused = {
        {"get"},
        {"set", "frame-rate"},
        {"params"},
        {"params", "load"},
        {"upgrade"},
        {"transfer", "push", "intrinsic"},
        {"transfer", "send", "intrinsic", "f.bin"},
        {"transfer", "pull", "calibration", "f.bin"},
        {"transfer", "pull", "planeness", "1", "2", "f.bin"},
    };
    for (const auto &args : refused) {
        CliApp app;
        SCOPED_TRACE(args.size() > 1 ? args[0] + " " + args[1] : args[0]);
        EXPECT_EQ(Parse(app, args), kExitUsage);
    }
}

TEST(StreamSaveOptions, ListsAndNumbersParse)
{
    CliApp stream;
    ASSERT_EQ(Parse(stream, {"stream", "-t", "2.5", "--streams", "color,depth"}), kExitOk);
    auto *streamCommand = dynamic_cast<StreamCommand *>(stream.Chosen());
    ASSERT_NE(streamCommand, nullptr);
    EXPECT_EQ(streamCommand->seconds, 2.5);
    EXPECT_EQ(streamCommand->streams, (std::vector<std::string>{"color", "depth"}));

    CliApp save;
    ASSERT_EQ(Parse(save, {"save", "--format", "ply,raw", "-n", "3", "--out", "/tmp/x", "--ascii"}), kExitOk);
    auto *saveCommand = dynamic_cast<SaveCommand *>(save.Chosen());
    ASSERT_NE(saveCommand, nullptr);
    EXPECT_EQ(saveCommand->formats, (std::vector<std::string>{"ply", "raw"}));
    EXPECT_EQ(saveCommand->count, 3);
    EXPECT_TRUE(saveCommand->ascii);
}

TEST(StreamSaveOptions, RefusedCommandLines)
{
    const std::vector<std::vector<std::string>> refused = {
        {"stream", "--streams", "depth,sound"},
        {"stream", "-t", "-1"},
        {"save", "--format", "jpg"},
        {"save", "--count", "0"},
        {"stream", "--time", "soon"},
    };
    for (const auto &args : refused) {
        SCOPED_TRACE(args[1] + " " + args[2]);
        CliApp app;
        EXPECT_EQ(Parse(app, args), kExitUsage);
    }
}

} // namespace
} // namespace orvane::cli
