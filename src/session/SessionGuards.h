// SPDX-License-Identifier: Apache-2.0
// The early returns of BaseSession operations that need the protocol, the pipeline or the refine library.
#pragma once

#include "protocol/StatusCodes.h"
#include "runtime/LogCustom.h"

// A session without protocol or pipeline (unknown device type, test fake) supports nothing of it.
#define REQUIRE_PROTOCOL()                                                                                   \
    do {                                                                                                     \
        if (!m_protocol) {                                                                                   \
            TFLOG("Not Support.");                                                                           \
            return kStatusNotSupported;                                                                      \
        }                                                                                                    \
    } while (0)
#define REQUIRE_PIPELINE()                                                                                   \
    do {                                                                                                     \
        if (!m_imageProc) {                                                                                  \
            TFLOG("Not Support.");                                                                           \
            return kStatusNotSupported;                                                                      \
        }                                                                                                    \
    } while (0)
#define REQUIRE_REFINE()                                                                                     \
    do {                                                                                                     \
        if (!m_imageProc || m_imageProc->GetRefine() == nullptr) {                                           \
            TFLOG("Not Support.");                                                                           \
            return kStatusNotSupported;                                                                      \
        }                                                                                                    \
    } while (0)
