// SPDX-License-Identifier: Apache-2.0
// Fuzz target for the path helpers: arbitrary bytes as paths must give well-formed, stable results.
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzInput.h"
#include "runtime/PathTools.h"

namespace {

bool HasDotComponent(const std::string &path, char slash, bool allowLeadingDotDot)
{
    size_t start = 0;
    bool leading = true;
    while (start <= path.size()) {
        size_t end = path.find(slash, start);
        if (end == std::string::npos) {
            end = path.size();
        }
        const std::string component = path.substr(start, end - start);
        start = end + 1;
        if (component == ".") {
            return true;
        }
        if (component == "..") {
            if (!(allowLeadingDotDot && leading)) {
                return true;
            }
        } else if (!component.empty()) {
            leading = false;
        }
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // The first byte picks the separator; the rest splits at the first NUL into a relative path and a base.
    if (size == 0) {
        return 0;
    }
    const char slash = (data[0] & 1) != 0 ? '\\' : '/';
    const std::string input(reinterpret_cast<const char *>(data + 1), size - 1);
    const size_t split = input.find('\0');
    const std::string relative = input.substr(0, split);
    const std::string base = split == std::string::npos ? std::string() : input.substr(split + 1);
    const char other = slash == '/' ? '\\' : '/';

    const std::string fixed = Path_FixSlashes(relative, slash);
    Require(fixed.size() == relative.size());
    Require(fixed.find(other) == std::string::npos);

    const std::string compacted = Path_Compact(relative, slash);
    Require(compacted.size() <= relative.size() + 1);
    Require(compacted.find(other) == std::string::npos);
    Require(Path_Compact(compacted, slash) == compacted);
    const bool rooted = !compacted.empty() && compacted[0] == slash;
    Require(!HasDotComponent(compacted, slash, !rooted));

    const std::string joined = Path_Join(base, relative, slash);
    Require(joined.size() <= base.size() + relative.size() + 1);

    const std::string absolute = Path_MakeAbsolute(relative, base, slash);
    Require(absolute.empty() || Path_IsAbsolute(absolute));
    if (Path_IsAbsolute(relative)) {
        Require(absolute == relative);
    }
    return 0;
}
