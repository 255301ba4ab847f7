// The lines a session and each of its media descriptions both carry (RFC 4566 section 5):
// "i=" information, "c=" connection, "b=" bandwidth, "k=" key and "a=" attributes.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "kel_sip/syntax/SDPFields.h"

namespace kel_sip {

class SDPDescriptionFields {
public:
    enum class LineResult { Taken, Malformed, NotMine };

    // Reads an "i", "c", "b", "k" or "a" line (text is what follows "="); a repeated
    // "i", "c" or "k" line replaces the earlier one, "b" lines and attributes are appended.
    // Any other type is NotMine.
    LineResult parseLine(char type, std::string_view text);

    std::string information;
    SDPConnection connection;
    // One per "b=" line: a description may carry several (RFC 4566 section 5.8), such as
    // AS beside the RTCP RS and RR limits of RFC 3556 or TIAS of RFC 3890.
    std::vector<SDPAttribute> bandwidth;
    SDPAttribute key;
    std::vector<SDPAttribute> attributes;

protected:
    SDPDescriptionFields() = default;
    ~SDPDescriptionFields() = default;
    SDPDescriptionFields(const SDPDescriptionFields&) = default;
    SDPDescriptionFields& operator=(const SDPDescriptionFields&) = default;
    SDPDescriptionFields(SDPDescriptionFields&&) noexcept = default;
    SDPDescriptionFields& operator=(SDPDescriptionFields&&) noexcept = default;

    bool operator==(const SDPDescriptionFields&) const = default;

    // The "c=" line when set, then the "b=" lines.
    void printConnectionAndBandwidth(std::string& out) const;
    // "k=" when set, then the attributes as "a=" lines; with skipPreconditions the RFC 3312
    // status attributes ("des", "curr", "conf") are left out.
    void printKeyAndAttributes(std::string& out, bool skipPreconditions) const;
};

}  // namespace kel_sip
