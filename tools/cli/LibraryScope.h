// SPDX-License-Identifier: Apache-2.0
// The library initialised for the lifetime of an object (TFCM_Initialize / TFCM_Shutdown).
#pragma once

namespace orvane::cli {

class LibraryScope
{
public:
    LibraryScope();
    ~LibraryScope();
    LibraryScope(const LibraryScope &) = delete;
    LibraryScope &operator=(const LibraryScope &) = delete;

    int Status() const { return m_status; }

private:
    int m_status;
};

} // namespace orvane::cli
