// SPDX-License-Identifier: Apache-2.0
// The values of the settings table as text and as JSON: parsed and range-checked before the library is
// called, and written back the same way they are read.
#include "SettingValue.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <sstream>

namespace orvane::cli {

using nlohmann::json;

namespace {

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string Trim(const std::string &text)
{
    const auto first = text.find_first_not_of(" \t");
    const auto last = text.find_last_not_of(" \t");
    return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}

std::string Span(int64_t min, int64_t max)
{
    return std::to_string(min) + ".." + std::to_string(max);
}

} // namespace

std::optional<int64_t> SettingValue::ParseInteger(const std::string &text)
{
    const std::string trimmed = Trim(text);
    if (trimmed.empty()) {
        return std::nullopt;
    }
    errno = 0;
    char *end = nullptr;
    // Decimal, or hexadecimal with 0x; never octal, so that "010" is ten.
    const bool hex = trimmed.size() > 2 && trimmed[0] == '0' && (trimmed[1] == 'x' || trimmed[1] == 'X');
    const long long value = std::strtoll(trimmed.c_str(), &end, hex ? 16 : 10);
    if (errno != 0 || end == nullptr || *end != '\0') {
        return std::nullopt;
    }
    return static_cast<int64_t>(value);
}

std::optional<json> SettingValue::FromText(const SettingRow &row, const std::string &text, std::string &error)
{
    const std::string trimmed = Trim(text);
    if (!trimmed.empty() && (trimmed.front() == '{' || trimmed.front() == '"')) {
        const json parsed = json::parse(trimmed, nullptr, false);
        if (parsed.is_discarded()) {
            error = "'" + text + "' is not valid JSON";
            return std::nullopt;
        }
        return FromJson(row, parsed, error);
    }
    switch (row.kind) {
    case SettingKind::kSwitch: {
        const std::string word = Lower(trimmed);
        if (word == "on" || word == "1" || word == "true" || word == "yes") {
            return json(true);
        }
        if (word == "off" || word == "0" || word == "false" || word == "no") {
            return json(false);
        }
        error = "'" + text + "' is not on or off";
        return std::nullopt;
    }
    case SettingKind::kNumber: {
        const auto number = ParseInteger(trimmed);
        if (!number) {
            error = "'" + text + "' is not a whole number";
            return std::nullopt;
        }
        return CheckNumber(row, json(*number), error);
    }
    case SettingKind::kFields:
        return ParseFields(row, trimmed, error);
    }
    return std::nullopt;
}

std::optional<json> SettingValue::ParseFields(const SettingRow &row, const std::string &text,
                                              std::string &error)
{
    json object = json::object();
    std::istringstream in(text);
    for (std::string item; std::getline(in, item, ',');) {
        const auto equals = item.find('=');
        if (equals == std::string::npos) {
            error = "'" + item + "' is not field=value";
            return std::nullopt;
        }
        const std::string name = Trim(item.substr(0, equals));
        const auto number = ParseInteger(item.substr(equals + 1));
        if (!number) {
            error = "the value of " + name + " is not a whole number";
            return std::nullopt;
        }
        object[name] = *number;
    }
    return CheckFields(row, object, error);
}

std::optional<json> SettingValue::FromJson(const SettingRow &row, const json &value, std::string &error)
{
    if (value.is_string()) {
        return FromText(row, value.get<std::string>(), error);
    }
    switch (row.kind) {
    case SettingKind::kSwitch:
        if (value.is_boolean()) {
            return value;
        }
        if (value.is_number_integer() && (value == 0 || value == 1)) {
            return json(value == 1);
        }
        error = "expected on or off, got " + value.dump();
        return std::nullopt;
    case SettingKind::kNumber:
        return CheckNumber(row, value, error);
    case SettingKind::kFields:
        return CheckFields(row, value, error);
    }
    return std::nullopt;
}

std::optional<json> SettingValue::CheckNumber(const SettingRow &row, const json &value, std::string &error)
{
    if (!value.is_number_integer()) {
        error = "expected a whole number, got " + value.dump();
        return std::nullopt;
    }
    const int64_t number = value.get<int64_t>();
    const bool valid = row.allowed.empty()
                           ? number >= row.min && number <= row.max
                           : std::find(row.allowed.begin(), row.allowed.end(), number) != row.allowed.end();
    if (!valid) {
        error = std::to_string(number) + " is outside " + RangeText(row);
        return std::nullopt;
    }
    return json(number);
}

std::optional<json> SettingValue::CheckFields(const SettingRow &row, const json &value, std::string &error)
{
    if (!value.is_object() || value.empty()) {
        error = "expected fields " + RangeText(row);
        return std::nullopt;
    }
    json checked = json::object();
    for (const auto &item : value.items()) {
        const std::string &name = item.key();
        const json &field = item.value();
        const auto found = std::find_if(row.fields.begin(), row.fields.end(),
                                        [&](const SettingField &f) { return name == f.name; });
        if (found == row.fields.end()) {
            error = "no field " + name + " (fields: " + RangeText(row) + ")";
            return std::nullopt;
        }
        if (!field.is_number_integer() || field.get<int64_t>() < found->min ||
            field.get<int64_t>() > found->max) {
            error = name + " = " + field.dump() + " is outside " + Span(found->min, found->max);
            return std::nullopt;
        }
        checked[name] = field.get<int64_t>();
    }
    return checked;
}

std::string SettingValue::ToText(const SettingRow &row, const json &value)
{
    switch (row.kind) {
    case SettingKind::kSwitch:
        return value.is_boolean() && value.get<bool>() ? "on" : "off";
    case SettingKind::kNumber:
        return value.dump();
    case SettingKind::kFields: {
        std::string text;
        for (const SettingField &field : row.fields) {
            if (value.contains(field.name)) {
                text += (text.empty() ? "" : ",") + std::string(field.name) + "=" + value[field.name].dump();
            }
        }
        return text;
    }
    }
    return value.dump();
}

std::string SettingValue::RangeText(const SettingRow &row)
{
    switch (row.kind) {
    case SettingKind::kSwitch:
        return "on|off";
    case SettingKind::kNumber: {
        if (row.allowed.empty()) {
            return Span(row.min, row.max);
        }
        std::string text;
        for (const int64_t value : row.allowed) {
            text += (text.empty() ? "" : "|") + std::to_string(value);
        }
        return text;
    }
    case SettingKind::kFields: {
        std::string text;
        for (const SettingField &field : row.fields) {
            text += (text.empty() ? "" : ",") + std::string(field.name) + "=" + Span(field.min, field.max);
        }
        return text;
    }
    }
    return {};
}

} // namespace orvane::cli
