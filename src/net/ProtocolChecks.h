// SPDX-License-Identifier: Apache-2.0
// Checks shared by the socket command operations: the open guard, the failed-transaction exit, the null
// check, and logging in an operation's name from a routine shared by several.
#pragma once

#include "runtime/LogCustom.h"

/// Logs in the name of `operation`, for a shared routine that acts for it (as TFLOG would in it).
#define TFLOG_AS(operation, fmt, ...)                                                                        \
    ::LogCustom::Printf("[%s:%d:%s]:" fmt "\n", ::LogCustom::BaseName(__FILE__), __LINE__, (operation),      \
                        ##__VA_ARGS__)

/// Leaves the calling operation with `result` when the camera is not open (they log in the operation's
/// own name, hence macros).
#define TF_RETURN_IF_NOT_OPENED(result)                                                                      \
    do {                                                                                                     \
        if (!m_opened.load()) {                                                                              \
            TFLOG("device is not opened.");                                                                  \
            return (result);                                                                                 \
        }                                                                                                    \
    } while (0)

/// Leaves the calling operation with a failed transaction's status.
#define TF_RETURN_IF_FAILED(ret)                                                                             \
    do {                                                                                                     \
        const int tfFailedRet = (ret);                                                                       \
        if (tfFailedRet != 0) {                                                                              \
            TFLOG("ret:%d is failed.", tfFailedRet);                                                         \
            return tfFailedRet;                                                                              \
        }                                                                                                    \
    } while (0)

/// Leaves the calling operation with -1 when a required pointer is null.
#define TF_RETURN_IF_NULL(pointer)                                                                           \
    do {                                                                                                     \
        if ((pointer) == nullptr) {                                                                          \
            TFLOG("invalid param: %s is null", #pointer);                                                    \
            return -1;                                                                                       \
        }                                                                                                    \
    } while (0)
