// SPDX-License-Identifier: Apache-2.0
// The viewer's page files, embedded into orvane-cli at build time, and the content type of each.
#include "ViewAssets.h"

#include <cstring>

namespace orvane::cli {

const char *ViewAssets::TypeOf(const std::string &name)
{
    struct Type
    {
        const char *extension;
        const char *mime;
    };
    static const Type kTypes[] = {
        {".html", "text/html; charset=utf-8"},
        {".js", "text/javascript; charset=utf-8"},
        {".css", "text/css; charset=utf-8"},
        {".svg", "image/svg+xml"},
        {".png", "image/png"},
        {".ico", "image/x-icon"},
    };
    for (const Type &type : kTypes) {
        const size_t length = std::strlen(type.extension);
        if (name.size() > length && name.compare(name.size() - length, length, type.extension) == 0) {
            return type.mime;
        }
    }
    return nullptr;
}

const EmbeddedAsset *ViewAssets::Find(const std::string &path)
{
    if (path.empty() || path[0] != '/') {
        return nullptr;
    }
    const std::string name = path == "/" ? std::string("index.html") : path.substr(1);
    if (TypeOf(name) == nullptr) {
        return nullptr;
    }
    for (const EmbeddedAsset &asset : All()) {
        if (name == asset.name) {
            return &asset;
        }
    }
    return nullptr;
}

} // namespace orvane::cli
