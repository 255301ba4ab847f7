// An owned message body: bytes and their count, with a NUL kept after the last byte so that
// text bodies can be handed to C string functions. Copying copies the bytes.
#pragma once

#include <string>
#include <string_view>

namespace kel_util {

class ContentBuff {
public:
    ContentBuff() = default;
    ContentBuff(const char* data, int length) { set(data, length); }

    // Copies length bytes; a null data or a length below 1 leaves the body empty.
    void set(const char* data, int length);
    // Takes over bytes (for example a body read with readBody).
    void set(std::string bytes) { bytes_ = std::move(bytes); }
    void clear() { bytes_.clear(); }

    // The bytes, followed by a NUL.
    const char* getData() const { return bytes_.c_str(); }
    int getLength() const { return static_cast<int>(bytes_.size()); }
    bool empty() const { return bytes_.empty(); }
    std::string_view view() const { return bytes_; }

    bool operator==(const ContentBuff&) const = default;

private:
    std::string bytes_;
};

}  // namespace kel_util
