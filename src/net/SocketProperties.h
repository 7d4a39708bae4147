// SPDX-License-Identifier: Apache-2.0
// SocketProperties: the keyed properties of a network camera, each key one operation of its protocol.
#pragma once

class SocketProtocol;

/// Maps the session's property keys (PropertyKeys.h) to the protocol's operations. A record comes in and
/// goes back within the caller's `size`, never past it; an unknown key is kStatusNotSupported.
class SocketProperties
{
public:
    /// Borrows `protocol` for its own lifetime (one call).
    explicit SocketProperties(SocketProtocol &protocol) : m_protocol(protocol) {}

    int SetProperty(int key, const void *data, int size);
    /// The heartbeat key needs no buffer; every other key needs `size`.
    int GetProperty(int key, void *data, int *size);

private:
    SocketProtocol &m_protocol;
};
