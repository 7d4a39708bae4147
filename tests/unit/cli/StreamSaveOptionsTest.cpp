// SPDX-License-Identifier: Apache-2.0
// The command lines of `stream` and `save`: lists split at commas, and what is refused with the usage code.
#include <gtest/gtest.h>

#include <sstream>

#include "CliApp.h"
#include "ExitCodes.h"
#include "SaveCommand.h"
#include "StreamCommand.h"

namespace orvane::cli {
namespace {

int Parse(CliApp &app, const std::vector<std::string> &args)
{
    std::ostringstream out;
    std::ostringstream err;
    return app.Parse(args, out, err);
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
