// Framing of RFC 822 style messages on a byte stream (TCP, HTTP): header lines and bodies
// are read through a receive buffer of fixed capacity that holds `filled` bytes already
// received, so bytes of the next message stay buffered for the next call.
#pragma once

#include <string>

#include "kel_util/ByteStream.h"

namespace kel_util {

// Receives into buffer until it holds a complete logical header line (see
// findCompleteHeaderLine: a line is complete once the byte after its line end is known, so a
// header arriving byte by byte parses exactly as one arriving whole). Stores the line without
// its line end in line and, when capture is given, at most captureCapacity of the consumed raw
// bytes in *capture; moves the remaining bytes to the front of buffer. Returns the number of
// bytes consumed (> 0), 0 when the peer closed, -1 when the buffer is full without a complete
// line, -2 when a receive failed or filled is outside 0..capacity.
int readLine(ByteSource& source, char* buffer, int capacity, int& filled, int flags, std::string& line,
             std::string* capture = nullptr, int captureCapacity = 0);

// Fills destination with exactly length bytes: first the buffered ones (moving any surplus to
// the front of buffer), then by receives of no more than the missing count, so nothing past
// the body is taken from the source. False when length is negative or above limit (a length
// read from the network), when filled is outside 0..capacity, or when a receive returns 0 or
// fails; destination then holds the bytes that did arrive.
bool readBody(std::string& destination, int length, int limit, ByteSource& source, char* buffer, int capacity,
              int& filled, int flags);

// Sends until all length bytes are written; false when a send returns less than 1.
bool writeAll(const char* data, int length, ByteSink& sink, int flags);

}  // namespace kel_util
