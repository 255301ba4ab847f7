#include "kel_util/HeaderLine.h"

#include <cstring>

#include "kel_util/TextUtil.h"

namespace kel_util {
namespace {

// The offset of the first CR or LF at or after from, or count: two memchr scans instead of a
// byte loop, since finding line ends is a large part of reading a message.
int lineEnd(const char* data, int from, int count) {
    const size_t span = static_cast<size_t>(count - from);
    const void* lf = std::memchr(data + from, '\n', span);
    const int end = lf == nullptr ? count : static_cast<int>(static_cast<const char*>(lf) - data);
    const void* cr = std::memchr(data + from, '\r', static_cast<size_t>(end - from));
    return cr == nullptr ? end : static_cast<int>(static_cast<const char*>(cr) - data);
}

// The logical line scan behind findHeaderLine. With growing, a decision that depends on
// bytes not yet in the range gives -1 instead. folded (optional) tells whether a continuation
// was taken into the line.
int scanHeaderLine(const char* data, int count, const char*& next, bool growing, bool* folded = nullptr) {
    next = nullptr;
    if (folded != nullptr) *folded = false;
    if (data == nullptr || count < 0) count = 0;
    int i = 0;
    for (;;) {
        i = lineEnd(data, i, count);
        if (i == count) return growing ? -1 : i;
        const int end = i;
        int after = end + 1;
        if (data[end] == '\r') {
            if (after < count && data[after] == '\n') {
                ++after;
            } else if (after == count && growing) {
                return -1;
            }
        }
        if (end > 0) {
            if (after == count && growing) return -1;
            if (after < count && (data[after] == ' ' || data[after] == '\t')) {
                i = after;
                if (folded != nullptr) *folded = true;
                continue;
            }
        }
        next = data + after;
        return end;
    }
}

}  // namespace

int findLine(const char* data, int count, const char*& next) {
    next = nullptr;
    if (data == nullptr || count <= 0) return 0;
    const int i = lineEnd(data, 0, count);
    if (i == count) return i;
    next = data + i + (data[i] == '\r' && i + 1 < count && data[i + 1] == '\n' ? 2 : 1);
    return i;
}

int findHeaderLine(const char* data, int count, const char*& next, bool* folded) {
    return scanHeaderLine(data, count, next, false, folded);
}

int findCompleteHeaderLine(const char* data, int count, const char*& next) {
    return scanHeaderLine(data, count, next, true);
}

bool splitHeaderLine(const char* data, int count, std::string_view& name, std::string_view& value) {
    if (data == nullptr || count <= 0) return false;
    const void* colon = std::memchr(data, ':', static_cast<size_t>(count));
    if (colon == nullptr) return false;
    const int at = static_cast<int>(static_cast<const char*>(colon) - data);
    int nameEnd = at;
    while (nameEnd > 0 && isAsciiSpace(data[nameEnd - 1])) --nameEnd;
    if (nameEnd == 0) return false;
    int valueStart = at + 1;
    while (valueStart < count && isAsciiSpace(data[valueStart])) ++valueStart;
    name = std::string_view(data, static_cast<size_t>(nameEnd));
    value = std::string_view(data + valueStart, static_cast<size_t>(count - valueStart));
    return true;
}

}  // namespace kel_util
