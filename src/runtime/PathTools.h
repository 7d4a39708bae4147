// SPDX-License-Identifier: Apache-2.0
// Application-data directories of the current user and string helpers that compose and tidy paths.
#pragma once

#include <string>

/// "<home>/.config/Orvane", created (one level only) when missing; empty when it cannot be created.
std::string GetAppDataDirectory();
/// "<application-data directory>/Config/" (not created here); empty without an application-data directory.
std::string GetConfigPath();
/// True when path opens as a directory.
bool IsDirectoryExist(const char *path);
/// True when one mkdir (mode 0777) of path succeeded.
bool CreateDirectory_(const char *path);

/// Points the home directory used by GetAppDataDirectory somewhere else; an empty string restores the
/// home directory of the real user. Meant for tests and tools that must not touch the user's files.
void Path_SetHomeDirectoryOverride(const std::string &home);

/// True when path contains ':' or starts with '/' or '\\'; false for an empty path.
bool Path_IsAbsolute(const std::string &path);
/// first (less one trailing separator), slash, second.
std::string Path_Join(const std::string &first, const std::string &second, char slash = '/');
/// Every '/' and '\\' replaced by slash.
std::string Path_FixSlashes(const std::string &path, char slash = '/');
/// Separators unified and repeated ones merged, "." components dropped, each ".." removed together with
/// the component before it. A ".." that has no component before it stays in a relative path and is
/// dropped at the root of an absolute one. A trailing separator is kept, and added when the path ended
/// in "." or "..".
std::string Path_Compact(const std::string &path, char slash = '/');
/// relative when it is absolute; else the compacted join of base and relative when base is absolute;
/// else an empty string.
std::string Path_MakeAbsolute(const std::string &relative, const std::string &base, char slash = '/');
