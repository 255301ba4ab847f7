// The value of an "rtpmap" attribute (RFC 4566 section 6):
// payload-type SP encoding-name "/" clock-rate ["/" encoding-parameters].
#pragma once

#include <string>
#include <string_view>

namespace kel_sip {

class SDPRTPMap {
public:
    SDPRTPMap() = default;
    SDPRTPMap(int payloadType, std::string encodingName, int clockRate)
        : payloadType(payloadType), encodingName(std::move(encodingName)), clockRate(clockRate) {}

    // Fails when a part is missing or a number is out of range (payload type 0..127,
    // clock rate 1..2^31-1), or when a third "/" part is empty.
    bool parse(std::string_view text);
    void print(std::string& out) const;
    void clear() { *this = SDPRTPMap(); }

    bool operator==(const SDPRTPMap&) const = default;

    int payloadType = 0;
    std::string encodingName;
    int clockRate = 0;
    std::string encodingParameters;
    bool hasParameters = false;

private:
    bool readFields(std::string_view text);
};

}  // namespace kel_sip
