// SPDX-License-Identifier: Apache-2.0
// The settings table's values: what text and JSON parse to, what is refused before the library is
// called, and that what is written back parses to the same value.
#include <gtest/gtest.h>

#include <set>

#include "SettingValue.h"
#include "SettingsTable.h"

namespace orvane::cli {
namespace {

using nlohmann::json;

struct TextCase
{
    const char *setting;
    const char *text;
    const char *expected; // the value written back, or null when the text is refused
};

TEST(SettingValue, TextParsesToTheRowsValueOrIsRefused)
{
    const TextCase cases[] = {
        {"depth-range", " 5 ", "5"},
        {"depth-range", "6", nullptr}, // past the last range
        {"depth-range", "-1", nullptr},
        {"depth-range", "2x", nullptr},
        {"depth-range", "", nullptr},
        {"data-mode", "010", "10"}, // decimal, never octal
        {"exposure-time", "0x10", "16"},
        {"exposure-time", "99999999999999999999", nullptr}, // overflows
        {"color-resolution", "4", "4"},
        {"color-resolution", "3", nullptr}, // reported by cameras, never accepted
        {"time-filter", "ON", "on"},
        {"time-filter", "0", "off"},
        {"time-filter", "maybe", nullptr},
        {"confidence-filter", "enable=1, threshold=80,value=4095", "enable=1,threshold=80,value=4095"},
        {"confidence-filter", "threshold=7", "threshold=7"}, // the other fields keep the camera's values
        {"confidence-filter", "threshold=70000", nullptr},
        {"confidence-filter", "bogus=1", nullptr},
        {"confidence-filter", "enable", nullptr},
        {"confidence-filter", "enable=yes", nullptr},
        {"confidence-filter", R"({"value": 3, "enable": 0})", "enable=0,value=3"},
        {"confidence-filter", R"({"value": 3)", nullptr},
        {"wdr-output", "count=2,range0=0,range1=6", nullptr},
        {"depth-range", R"("4")", "4"}, // a JSON string holds text
    };
    for (const TextCase &c : cases) {
        SCOPED_TRACE(std::string(c.setting) + " <- '" + c.text + "'");
        const SettingRow *row = SettingsTable::Find(c.setting);
        ASSERT_NE(row, nullptr);
        std::string error;
        const auto value = SettingValue::FromText(*row, c.text, error);
        if (c.expected == nullptr) {
            EXPECT_FALSE(value.has_value());
            EXPECT_FALSE(error.empty());
            continue;
        }
        ASSERT_TRUE(value.has_value()) << error;
        EXPECT_EQ(SettingValue::ToText(*row, *value), c.expected);
        // What is written back parses to the same value, so a dump loads as it was read.
        EXPECT_EQ(SettingValue::FromText(*row, c.expected, error), value);
        EXPECT_EQ(SettingValue::FromJson(*row, *value, error), value);
    }
}

TEST(SettingValue, DumpValuesAreCheckedLikeText)
{
    struct JsonCase
    {
        const char *setting;
        json value;
        bool accepted;
    };
    const JsonCase cases[] = {
        {"smoothing-filter", true, true},
        {"smoothing-filter", 1, true},
        {"smoothing-filter", 2, false},
        {"smoothing-filter", 0.5, false},
        {"frame-rate", 30, true},
        {"frame-rate", 31, false},
        {"frame-rate", 25.5, false},
        {"frame-rate", json::array(), false},
        {"spatial-filter", json::object(), false},
        {"spatial-filter", json{{"threshold", -1}}, false},
    };
    for (const JsonCase &c : cases) {
        SCOPED_TRACE(std::string(c.setting) + " <- " + c.value.dump());
        std::string error;
        EXPECT_EQ(SettingValue::FromJson(*SettingsTable::Find(c.setting), c.value, error).has_value(),
                  c.accepted);
    }
}

TEST(SettingsTable, NamesAreUniqueAndEveryRowCanBeSet)
{
    std::set<std::string> names;
    for (const SettingRow &row : SettingsTable::Rows()) {
        EXPECT_TRUE(names.insert(row.name).second) << row.name;
        EXPECT_TRUE(static_cast<bool>(row.set)) << row.name;
        EXPECT_EQ(std::string(row.name).find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789-"),
                  std::string::npos);
    }
    // A dump is applied in table order: the data mode before what it governs.
    const auto position = [](const char *name) {
        return SettingsTable::Find(name) - &SettingsTable::Rows()[0];
    };
    EXPECT_LT(position("data-mode"), position("depth-range"));
    EXPECT_LT(position("data-mode"), position("wdr-output"));
    EXPECT_LT(position("data-mode"), position("exposure-time-2"));
    EXPECT_EQ(SettingsTable::Find("no-such-setting"), nullptr);
}

} // namespace
} // namespace orvane::cli
