// SPDX-License-Identifier: Apache-2.0
// The shape of every exported call: the handle check, the result translation and the call patterns.
#pragma once

#include <exception>
#include <memory>

#include "Orvane_api.h"
#include "api/DeviceHandle.h"
#include "protocol/StatusCodes.h"
#include "runtime/LogCustom.h"
#include "session/BaseSession.h"

/// The codes that pass the C boundary unchanged: -107...-101 and -19...0. Any other internal result
/// is logged and becomes -255.
int InterRet2ExternRet(int interRet);

/// A call's hold on a handle: while held, the cell cannot be freed by TFCM_CloseDevice, which waits for
/// the holds to end. A value that is not a live cell is never read through.
class HandleLease
{
public:
    explicit HandleLease(Device *device);
    ~HandleLease();
    HandleLease(const HandleLease &) = delete;
    HandleLease &operator=(const HandleLease &) = delete;
    bool Held() const { return m_entered != nullptr; }

private:
    BaseDevice *m_entered; ///< the camera the call entered, or null
};

/// Releases a closed handle's camera and frees its cell.
void ReleaseCell(std::unique_ptr<Device> cell);

/// Resolves a handle to session 0 of its camera: 0 and *session set, or -3 for a null handle, an empty
/// cell, a device the device manager does not know, or a device without session 0.
/// The caller holds a HandleLease on `device`.
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
    return kStatusNotSupported;
}

/// Untranslated pattern: handle check, then a body that works out the public status itself (it maps
/// the session's results on its own terms, or forwards to another exported function); its result is
/// returned as it is. The other patterns are built on this one.
template <typename Op> int CallUntranslated(const char *function, Device *device, Op &&op) noexcept
{
    return GuardedCall(function, [&]() -> int {
        BaseSession *session = nullptr;
        HandleLease lease(device);
        const int ret = lease.Held() ? checkSessionValid(device, &session) : TF_ERROR_INVALID_HANDLE;
        return ret != 0 ? ret : op(*session);
    });
}

/// Translating pattern: handle check, one session call, its result translated.
template <typename Op> int CallTranslate(const char *function, Device *device, Op &&op) noexcept
{
    return CallUntranslated(function, device, [&](BaseSession &s) { return InterRet2ExternRet(op(s)); });
}

/// Boolean pattern: handle check, one session call; any non-zero result becomes -255 (not logged).
template <typename Op> int CallBoolean(const char *function, Device *device, Op &&op) noexcept
{
    return CallUntranslated(function, device, [&](BaseSession &s) -> int {
        return op(s) == kStatusOk ? kStatusOk : kStatusNotSupported;
    });
}

/// Ignoring pattern: handle check, one session call whose result is dropped.
template <typename Op> int CallIgnore(const char *function, Device *device, Op &&op) noexcept
{
    return CallUntranslated(function, device, [&](BaseSession &s) -> int {
        (void)op(s);
        return kStatusOk;
    });
}

/// Restart pattern for settings the camera refuses while streaming: handle check, stop the stream,
/// the session call, start the stream again; the session call's result is translated.
template <typename Op> int CallRestart(const char *function, Device *device, Op &&op) noexcept
{
    return CallUntranslated(function, device, [&](BaseSession &s) -> int {
        (void)TFCM_StopStream(device);
        SleepRestartGap();
        const int ret = op(s);
        (void)TFCM_StartStream(device);
        return InterRet2ExternRet(ret);
    });
}
