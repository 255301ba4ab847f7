// The single-line fields of a session description (RFC 4566 section 5): origin ("o="),
// connection ("c=") and the name/value pair used for attributes ("a="), bandwidth ("b=") and
// encryption keys ("k="). Each parse takes the text after "=" and returns false on malformed
// input; each print appends that text back.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kel_sip {

// "o=" username sess-id sess-version nettype addrtype unicast-address (RFC 4566 section 5.2).
class SDPOrigin {
public:
    // Six fields separated by single SP or HT; the last one takes the rest of the line.
    bool parse(std::string_view text);
    void print(std::string& out) const;
    void clear() { *this = SDPOrigin(); }
    bool isSet() const {
        return !userName.empty() || sessionId != 0 || sessionVersion != 0 || !networkType.empty() ||
               !addressType.empty() || !address.empty();
    }

    bool operator==(const SDPOrigin&) const = default;

    std::string userName;
    // 64-bit: peers commonly use NTP timestamps or 63-bit random values here.
    std::uint64_t sessionId = 0;
    std::uint64_t sessionVersion = 0;
    std::string networkType;
    std::string addressType;
    std::string address;
};

// "c=" nettype addrtype connection-address (RFC 4566 section 5.7); the address keeps any
// "/ttl" or "/count" suffix.
class SDPConnection {
public:
    bool parse(std::string_view text);
    void print(std::string& out) const;
    void clear() { *this = SDPConnection(); }
    bool isSet() const { return !networkType.empty() || !addressType.empty() || !address.empty(); }

    bool operator==(const SDPConnection&) const = default;

    std::string networkType;
    std::string addressType;
    std::string address;
};

// name [":" value]: "a=" attributes (RFC 4566 section 5.13), "b=" bwtype:bandwidth and
// "k=" method[:key]. A line without a colon has a name only.
class SDPAttribute {
public:
    SDPAttribute() = default;
    SDPAttribute(std::string name, std::string value) : name(std::move(name)), value(std::move(value)) {}

    // Fails when a colon is followed by nothing.
    bool parse(std::string_view text);
    // The name, then ":" and the value when the value is not empty.
    void print(std::string& out) const;
    void clear() { *this = SDPAttribute(); }
    bool isSet() const { return !name.empty() || !value.empty(); }

    bool operator==(const SDPAttribute&) const = default;

    std::string name;
    std::string value;
};

}  // namespace kel_sip
