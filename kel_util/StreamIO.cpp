#include "kel_util/StreamIO.h"

#include <algorithm>
#include <cstring>

#include "kel_util/HeaderLine.h"

namespace kel_util {
namespace {

bool validBuffer(const char* buffer, int capacity, int filled) {
    return buffer != nullptr && capacity > 0 && filled >= 0 && filled <= capacity;
}

// Drops the first count buffered bytes, moving the rest to the front.
void consume(char* buffer, int& filled, int count) {
    std::memmove(buffer, buffer + count, static_cast<size_t>(filled - count));
    filled -= count;
}

}  // namespace

int readLine(ByteSource& source, char* buffer, int capacity, int& filled, int flags, std::string& line,
             std::string* capture, int captureCapacity) {
    if (!validBuffer(buffer, capacity, filled)) return -2;
    for (;;) {
        const char* next = nullptr;
        const int length = findCompleteHeaderLine(buffer, filled, next);
        if (length >= 0) {
            const int consumed = static_cast<int>(next - buffer);
            line.assign(buffer, static_cast<size_t>(length));
            if (capture != nullptr) {
                capture->assign(buffer, static_cast<size_t>(std::min(consumed, std::max(captureCapacity, 0))));
            }
            consume(buffer, filled, consumed);
            return consumed;
        }
        if (filled == capacity) return -1;
        const int room = capacity - filled;
        const int received = source.receive(buffer + filled, room, flags);
        if (received == 0) return 0;
        if (received < 0 || received > room) return -2;
        filled += received;
    }
}

bool readBody(std::string& destination, int length, int limit, ByteSource& source, char* buffer, int capacity,
              int& filled, int flags) {
    destination.clear();
    if (length < 0 || length > limit || !validBuffer(buffer, capacity, filled)) return false;
    destination.resize(static_cast<size_t>(length));
    const int buffered = std::min(filled, length);
    std::memcpy(destination.data(), buffer, static_cast<size_t>(buffered));
    consume(buffer, filled, buffered);
    int got = buffered;
    while (got < length) {
        const int missing = length - got;
        const int received = source.receive(destination.data() + got, missing, flags);
        if (received <= 0 || received > missing) {
            destination.resize(static_cast<size_t>(got));
            return false;
        }
        got += received;
    }
    return true;
}

bool writeAll(const char* data, int length, ByteSink& sink, int flags) {
    if (length < 0 || (data == nullptr && length > 0)) return false;
    int sent = 0;
    while (sent < length) {
        const int remaining = length - sent;
        const int n = sink.send(data + sent, remaining, flags);
        if (n < 1 || n > remaining) return false;
        sent += n;
    }
    return true;
}

}  // namespace kel_util
