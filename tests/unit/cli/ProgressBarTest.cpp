// SPDX-License-Identifier: Apache-2.0
// The progress bar on synthetic progress: repeats, steps back and values past 100 draw nothing new.
#include <gtest/gtest.h>

#include <sstream>

#include "CliOutput.h"
#include "ProgressBar.h"

namespace orvane::cli {
namespace {

/// Feeds the same series to a bar of `style` and returns what it wrote on stdout.
std::string Draw(ProgressBar::Style style)
{
    std::ostringstream out;
    std::ostringstream err;
    CliOutput output(style == ProgressBar::Style::kJson, 0, out, err);
    ProgressBar bar(output, "image.bin", style);
    for (const int percent : {-5, 0, 0, 5, 12, 9, 35, 35, 150, 100}) {
        bar.Update(percent);
    }
    EXPECT_EQ(bar.Shown(), 100);
    bar.Finish();
    bar.Finish(); // a second end adds nothing
    EXPECT_TRUE(err.str().empty());
    return out.str();
}

TEST(ProgressBar, RendersTenCells)
{
    EXPECT_EQ(ProgressBar::Render(50, "x"), "[#####     ]  50%  x");
    EXPECT_EQ(ProgressBar::Render(9, "x"), "[          ]   9%  x");
    EXPECT_EQ(ProgressBar::Render(100, "x"), "[##########] 100%  x");
    EXPECT_EQ(ProgressBar::Render(-3, "x"), ProgressBar::Render(0, "x"));
    EXPECT_EQ(ProgressBar::Render(250, "x"), ProgressBar::Render(100, "x"));
}

TEST(ProgressBar, EachStyleDrawsOnlyForwardSteps)
{
    // -5 counts as 0; the repeats, the step back to 9 and the 100 after 150 draw nothing.
    EXPECT_EQ(Draw(ProgressBar::Style::kLines), "[          ]   0%  image.bin\n"
                                                "[#         ]  12%  image.bin\n"
                                                "[###       ]  35%  image.bin\n"
                                                "[##########] 100%  image.bin\n");
    EXPECT_EQ(Draw(ProgressBar::Style::kTerminal), "\r[          ]   0%  image.bin"
                                                   "\r[          ]   5%  image.bin"
                                                   "\r[#         ]  12%  image.bin"
                                                   "\r[###       ]  35%  image.bin"
                                                   "\r[##########] 100%  image.bin\n");
    EXPECT_EQ(Draw(ProgressBar::Style::kJson), "{\"percent\":0,\"progress\":\"image.bin\"}\n"
                                               "{\"percent\":12,\"progress\":\"image.bin\"}\n"
                                               "{\"percent\":35,\"progress\":\"image.bin\"}\n"
                                               "{\"percent\":100,\"progress\":\"image.bin\"}\n");
}

} // namespace
} // namespace orvane::cli
