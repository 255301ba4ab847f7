// The byte source and sink that the stream readers and writers work on. A socket and a
// test source both implement them, so framing code is tested without a network.
#pragma once

namespace kel_util {

class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Receives up to length bytes: the count received, 0 when the peer closed, < 0 on failure.
    virtual int receive(char* buffer, int length, int flags) = 0;
};

class ByteSink {
public:
    virtual ~ByteSink() = default;
    // Sends up to length bytes: the count sent, < 1 on failure.
    virtual int send(const char* data, int length, int flags) = 0;
};

}  // namespace kel_util
