// One received datagram: a copy of its bytes and the address it came from. Posted by the UDP
// listener as an event parameter; whoever receives the event owns and deletes it.
#pragma once

#include "kel_util/SocketAddress.h"

#include <vector>

namespace kel_util {

class Datagram {
public:
    Datagram(const char* data, int length, const SocketAddress& from)
        : bytes_(data, data + length), from_(from) {}

    const char* getData() const noexcept { return bytes_.data(); }
    int getLength() const noexcept { return static_cast<int>(bytes_.size()); }
    const SocketAddress& getFrom() const noexcept { return from_; }

private:
    std::vector<char> bytes_;
    SocketAddress from_;
};

}  // namespace kel_util
