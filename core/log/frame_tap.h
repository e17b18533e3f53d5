// What the paced sender tells a watcher about each frame it has put on the wire.
#pragma once

#include <chrono>
#include <string_view>

namespace quorvel {

class FrameTap {
public:
    // Once per frame, after its last datagram went out (a frame in pieces once, whole), on the
    // thread that sent it and under the sender's lock: it must only note the frame and return.
    // firstDatagram: when its first datagram left.
    virtual void frameSent(std::string_view frame, std::chrono::system_clock::time_point firstDatagram) = 0;

protected:
    ~FrameTap() = default;
};

} // namespace quorvel
