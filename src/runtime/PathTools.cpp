// SPDX-License-Identifier: Apache-2.0
// Home and application-data directory lookup and the path string helpers.
#include "runtime/PathTools.h"

#include "runtime/LogCustom.h"

#include <cerrno>
#include <dirent.h>
#include <mutex>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

std::mutex g_homeOverrideMutex;
std::string g_homeOverride; // guarded by g_homeOverrideMutex

bool IsSeparator(char c)
{
    return c == '/' || c == '\\';
}

std::string HomeDirectory()
{
    {
        std::lock_guard<std::mutex> lock(g_homeOverrideMutex);
        if (!g_homeOverride.empty()) {
            return g_homeOverride;
        }
    }
    // The reentrant form: the logger and the application may look the home directory up at once.
    struct passwd record
    {
    };
    struct passwd *entry = nullptr;
    std::vector<char> strings(16384);
    const int result = getpwuid_r(getuid(), &record, strings.data(), strings.size(), &entry);
    if (entry == nullptr || entry->pw_dir == nullptr || entry->pw_dir[0] == '\0') {
        const int err = result != 0 ? result : errno;
        TFLOG("getpwuid %d failed errorcode:%d !", static_cast<int>(getuid()), err);
        return std::string();
    }
    return entry->pw_dir;
}

} // namespace

void Path_SetHomeDirectoryOverride(const std::string &home)
{
    std::lock_guard<std::mutex> lock(g_homeOverrideMutex);
    g_homeOverride = home;
}

std::string GetAppDataDirectory()
{
    const std::string home = HomeDirectory();
    if (home.empty()) {
        return std::string();
    }
    std::string path = home + "/.config" + "/Orvane";
    if (!IsDirectoryExist(path.c_str()) && !CreateDirectory_(path.c_str())) {
        const int err = errno;
        TFLOG("CreateDirectory %s failed errorcode:%d !", path.c_str(), err);
        return std::string();
    }
    return path;
}

std::string GetConfigPath()
{
    return Path_MakeAbsolute("./Config/", GetAppDataDirectory());
}

bool IsDirectoryExist(const char *path)
{
    if (path == nullptr) {
        return false;
    }
    DIR *dir = opendir(path);
    if (dir == nullptr) {
        return false;
    }
    closedir(dir);
    return true;
}

bool CreateDirectory_(const char *path)
{
    return path != nullptr && mkdir(path, 0777) == 0;
}

bool Path_IsAbsolute(const std::string &path)
{
    if (path.empty()) {
        return false;
    }
    return path.find(':') != std::string::npos || IsSeparator(path[0]);
}

std::string Path_Join(const std::string &first, const std::string &second, char slash)
{
    std::string joined = first;
    if (!joined.empty() && IsSeparator(joined.back())) {
        joined.pop_back();
    }
    joined += slash;
    joined += second;
    return joined;
}

std::string Path_FixSlashes(const std::string &path, char slash)
{
    std::string fixed = path;
    for (char &c : fixed) {
        if (IsSeparator(c)) {
            c = slash;
        }
    }
    return fixed;
}

std::string Path_Compact(const std::string &path, char slash)
{
    const std::string fixed = Path_FixSlashes(path, slash);
    const bool rooted = !fixed.empty() && fixed[0] == slash;
    bool trailing = !fixed.empty() && fixed.back() == slash;

    std::vector<std::string> components;
    size_t start = 0;
    while (start <= fixed.size()) {
        size_t end = fixed.find(slash, start);
        if (end == std::string::npos) {
            end = fixed.size();
        }
        const std::string component = fixed.substr(start, end - start);
        start = end + 1;
        if (component.empty()) {
            continue;
        }
        const bool isDot = component == ".";
        const bool isDotDot = component == "..";
        if (end == fixed.size() && (isDot || isDotDot)) {
            trailing = true;
        }
        if (isDot) {
            continue;
        }
        if (isDotDot) {
            if (!components.empty() && components.back() != "..") {
                components.pop_back();
                continue;
            }
            if (rooted) {
                continue;
            }
        }
        components.push_back(component);
    }

    std::string compacted = rooted ? std::string(1, slash) : std::string();
    for (size_t i = 0; i < components.size(); ++i) {
        if (i > 0) {
            compacted += slash;
        }
        compacted += components[i];
    }
    if (trailing && !components.empty()) {
        compacted += slash;
    }
    return compacted;
}

std::string Path_MakeAbsolute(const std::string &relative, const std::string &base, char slash)
{
    if (Path_IsAbsolute(relative)) {
        return relative;
    }
    if (!Path_IsAbsolute(base)) {
        return std::string();
    }
    const std::string compacted = Path_Compact(Path_Join(base, relative, slash), slash);
    return Path_IsAbsolute(compacted) ? compacted : std::string();
}
