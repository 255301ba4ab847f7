// A media description (RFC 4566 section 5.14): the "m=" line and the lines that follow it
// up to the next "m=" line or the end.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "kel_sip/syntax/PreconditionDescription.h"
#include "kel_sip/syntax/SDPDescriptionFields.h"
#include "kel_sip/syntax/SDPRTPMap.h"

namespace kel_sip {

// "m=" media SP port ["/" number-of-ports] SP proto 1*(SP fmt). Over an RTP profile the
// formats are payload type numbers (0..127); over any other protocol, formats that are not all
// such numbers are tokens ("udptl t38", "TCP/MSRP *") and are kept as text in formatTokens.
class SDPMedia {
public:
    // Fails when a part is missing, a number is out of range, a token holds a byte outside
    // the token set (RFC 4566 section 9) or no format is given.
    bool parse(std::string_view text);
    // The count of ports is written only when it is greater than 1.
    void print(std::string& out) const;
    void clear() { *this = SDPMedia(); }

    bool operator==(const SDPMedia&) const = default;

    std::string mediaType;
    std::uint16_t port = 0;
    int numberOfPorts = 1;
    std::string protocol;
    std::vector<int> formats;
    std::vector<std::string> formatTokens;  // formats of a protocol other than RTP, when not all numbers

private:
    bool readFields(std::string_view text);
};

class SDPMediaDescription : public SDPDescriptionFields {
public:
    // Appends the "m=" line, "i=", "c=", "b=", "k=" and "a=" lines; with preconditions set,
    // the received "des", "curr" and "conf" attributes give way to the lines written from
    // preconditionDescriptions (RFC 3312).
    void print(std::string& out) const;
    void clear() { *this = SDPMediaDescription(); }

    // Appends the payload type to the formats and an "rtpmap" attribute for it.
    void addRtpMap(const SDPRTPMap& rtpMap);
    void addAttribute(std::string name, std::string value);

    // The first format, in "m=" line order, with an "rtpmap" attribute whose encoding is
    // "telephone-event" (RFC 4733, compared without case); -1 when there is none.
    int telephoneEventPayload() const;

    // Media line, information, connection, bandwidth, key and every attribute in order;
    // the precondition status written by this side does not count.
    bool operator==(const SDPMediaDescription& other) const;

    SDPMedia media;
    bool preconditions = false;
    std::vector<PreconditionDescription> preconditionDescriptions;
};

}  // namespace kel_sip
