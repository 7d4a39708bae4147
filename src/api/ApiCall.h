// SPDX-License-Identifier: Apache-2.0
// The shape of every exported call: the handle check, the result translation and the four call patterns.
#pragma once

#include <exception>

#include "Orvane_api.h"
#include "api/DeviceHandle.h"
#include "runtime/LogCustom.h"
#include "session/BaseSession.h"

/// The codes that pass the C boundary unchanged: -107...-101 and -19...0. Any other internal result
/// is logged and becomes -255.
int InterRet2ExternRet(int interRet);

/// Resolves a handle to session 0 of its camera: 0 and *session set, or -3 for a null handle, an empty
/// cell, a device the device manager does not know, or a device without session 0.
int checkSessionValid(Device *device, BaseSession **session);

/// Waits 0.5 ms between stopping and restarting a stream (resumed when a signal interrupts it).
void SleepRestartGap();

/// Runs the body of an exported function; no exception crosses the C boundary.
template <typename Body> int GuardedCall(const char *function, Body &&body) noexcept
{
    try {
        return body();
    } catch (const std::exception &e) {
        TFLOG("%s: exception: %s", function, e.what());
    } catch (...) {
        TFLOG("%s: unknown exception", function);
    }
    return BaseSession::kNotSupported;
}

/// Translating pattern: handle check, one session call, its result translated.
template <typename Op> int CallTranslate(const char *function, Device *device, Op &&op) noexcept
{
    return GuardedCall(function, [&]() -> int {
        BaseSession *session = nullptr;
        int ret = checkSessionValid(device, &session);
        if (ret != 0) {
            return ret;
        }
        return InterRet2ExternRet(op(*session));
    });
}

/// Boolean pattern: handle check, one session call; any non-zero result becomes -255 (not logged).
template <typename Op> int CallBoolean(const char *function, Device *device, Op &&op) noexcept
{
    return GuardedCall(function, [&]() -> int {
        BaseSession *session = nullptr;
        int ret = checkSessionValid(device, &session);
        if (ret != 0) {
            return ret;
        }
        return op(*session) == 0 ? 0 : BaseSession::kNotSupported;
    });
}

/// Ignoring pattern: handle check, one session call whose result is dropped.
template <typename Op> int CallIgnore(const char *function, Device *device, Op &&op) noexcept
{
    return GuardedCall(function, [&]() -> int {
        BaseSession *session = nullptr;
        int ret = checkSessionValid(device, &session);
        if (ret != 0) {
            return ret;
        }
        (void)op(*session);
        return 0;
    });
}

/// Restart pattern for settings the camera refuses while streaming: handle check, stop the stream,
/// the session call, start the stream again; the session call's result is translated.
template <typename Op> int CallRestart(const char *function, Device *device, Op &&op) noexcept
{
    return GuardedCall(function, [&]() -> int {
        BaseSession *session = nullptr;
        int ret = checkSessionValid(device, &session);
        if (ret != 0) {
            return ret;
        }
        (void)TFCM_StopStream(device);
        SleepRestartGap();
        ret = op(*session);
        (void)TFCM_StartStream(device);
        return InterRet2ExternRet(ret);
    });
}
