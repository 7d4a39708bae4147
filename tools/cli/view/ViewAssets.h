// SPDX-License-Identifier: Apache-2.0
// The viewer's page files, embedded into orvane-cli at build time, and the content type of each.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace orvane::cli {

/// One file of tools/cli/view/assets, as the generated table holds it.
struct EmbeddedAsset
{
    const char *name; // the file name, served as "/<name>"
    const unsigned char *bytes;
    size_t size;
};

class ViewAssets
{
public:
    /// Every embedded file (the table generated from the assets folder).
    static const std::vector<EmbeddedAsset> &All();
    /// The Content-Type of a file name by its extension, or null for a type the viewer does not serve.
    static const char *TypeOf(const std::string &name);
    /// The file a request path names ("/" is "/index.html"), or null when there is none of a served type.
    static const EmbeddedAsset *Find(const std::string &path);
};

} // namespace orvane::cli
