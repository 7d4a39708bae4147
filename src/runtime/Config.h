// SPDX-License-Identifier: Apache-2.0
// The process-wide settings object and its defaults.
#pragma once

#include <memory>

class Config
{
public:
    /// Creates the settings with their defaults on first use.
    static Config *GetInstance();
    /// Destroys the settings; the next GetInstance starts again from the defaults.
    static void Release();

    /// Whether the logger echoes messages to standard output.
    bool logToConsole = false;

private:
    friend struct std::default_delete<Config>;
    Config() = default;
    ~Config() = default;
};
