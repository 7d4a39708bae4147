// SPDX-License-Identifier: Apache-2.0
// SessionProperties: a session's property interface, routed to the session, its helpers or the camera.
#pragma once

#include "protocol/BaseProtocol.h"
#include "session/FilterSettings.h"
#include "session/SessionModeLists.h"

class BaseSession;
class ImageProc;

/// The JSON configuration keys go to the session's upgrade operations (which a session kind may
/// override), the temperature-offset switch to the filter settings, the time-filtered depth frame to
/// the pipeline. The mode and range lists are asked of the camera, and the session's own lists answer
/// when it cannot. A fixed set of status, timing and debug keys is handed to the camera as it is; any
/// other query is not supported.
class SessionProperties
{
public:
    /// `session` owns the lists and the filter settings.
    SessionProperties(BaseSession &session, const SessionModeLists &lists, FilterSettings &filters)
        : m_session(session), m_lists(lists), m_filters(filters)
    {
    }

    SessionProperties(const SessionProperties &) = delete;
    SessionProperties &operator=(const SessionProperties &) = delete;

    /// The session's protocol and pipeline; both stay owned by the session.
    void Attach(BaseProtocol *protocol, ImageProc *pipeline);

    /// `size` is the length of `data`.
    int SetProperty(int key, const void *data, int size);
    /// `size` is the length of `data`; the camera writes the length it returned.
    int GetProperty(int key, void *data, int *size);
    /// Whether the camera answers a heartbeat, 0 when it did. A session that is not `opened` opens the
    /// camera's connections for it and closes them again.
    int ProbeWhileClosed(bool opened);

private:
    BaseSession &m_session;
    const SessionModeLists &m_lists;
    FilterSettings &m_filters;
    BaseProtocol *m_protocol = nullptr; // the session's; null without a camera protocol
    ImageProc *m_imageProc = nullptr;   // the session's pipeline; null in a test fake
};
