// SPDX-License-Identifier: Apache-2.0
// FuzzCamera: a SocketProtocol opened once over loopback whose two connections are swapped, for each
// input, for socket pairs that carry the input's bytes and then the end of the stream.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "net/SocketProtocol.h"

/// The camera's end of both connections of one opened protocol. Aborts when the protocol cannot be opened.
class FuzzCamera
{
public:
    FuzzCamera();
    ~FuzzCamera();
    FuzzCamera(const FuzzCamera &) = delete;
    FuzzCamera &operator=(const FuzzCamera &) = delete;

    SocketProtocol &Protocol() { return *m_protocol; }

    /// Gives the protocol fresh connections: the command connection will read `command`, the data
    /// connection `stream`, each followed by the peer's end of sending. A reply left unread by the
    /// previous input is forgotten first, so that every input starts from the same state.
    void Load(const uint8_t *command, size_t commandBytes, const uint8_t *stream, size_t streamBytes);
    /// Takes what the protocol wrote on the command connection since the last call (or Load).
    std::vector<uint8_t> TakeSent();

private:
    std::unique_ptr<SocketProtocol> m_protocol;
    int m_cmdFd = -1; // the protocol's descriptors, replaced in place by each Load
    int m_dataFd = -1;
    int m_cmdPeer = -1;
    int m_dataPeer = -1;
};

/// Checks that `sent` is a sequence of whole, well-formed request frames; aborts otherwise.
void RequireRequestFrames(const std::vector<uint8_t> &sent);
