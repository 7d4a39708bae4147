// SPDX-License-Identifier: Apache-2.0
// The library initialised for the lifetime of an object (TFCM_Initialize / TFCM_Shutdown).
#include "LibraryScope.h"

#include "Orvane_api.h"

namespace orvane::cli {

LibraryScope::LibraryScope() : m_status(TFCM_Initialize())
{
}

LibraryScope::~LibraryScope()
{
    if (m_status == TF_OK) {
        TFCM_Shutdown();
    }
}

} // namespace orvane::cli
