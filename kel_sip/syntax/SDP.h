// A session description (RFC 4566) as carried in "application/sdp" bodies: the lines the
// stack uses are kept, the rest are skipped; printing writes them back in RFC 4566 order.
#pragma once

#include <string>
#include <vector>

#include "kel_sip/syntax/SDPDescriptionFields.h"
#include "kel_sip/syntax/SDPFields.h"
#include "kel_sip/syntax/SDPMediaDescription.h"
#include "kel_sip/syntax/SDPTime.h"

namespace kel_sip {

class SDP : public SDPDescriptionFields {
public:
    // Reads length bytes of text line by line (CR LF or LF). The first line must be "v=";
    // every further line must be "<letter>=" with at least three bytes left in the text, so
    // an empty line, even a trailing one, fails. Lines of other types (and "z=") are
    // skipped. Returns false, leaving the description cleared, on any malformed line.
    bool parse(const char* text, int length);
    // The lines in RFC 4566 order, each ended by CR LF; "v=" and "s=" always, "o=" whenever
    // the origin is set.
    void print(std::string& out) const;
    std::string toString() const;
    void clear() { *this = SDP(); }

    // The first media description of that media type and protocol (exact comparison);
    // a null argument matches any value. Null when there is none.
    const SDPMediaDescription* findMedia(const char* mediaType, const char* protocol) const;
    SDPMediaDescription* findMedia(const char* mediaType, const char* protocol);

    int version = 0;
    SDPOrigin origin;
    std::string sessionName;
    std::string uri;
    std::string email;
    std::string phone;
    std::vector<SDPTimeDescription> times;
    SDPTimeZoneList timeZones;
    std::vector<SDPMediaDescription> media;

private:
    class LineReader;

    bool readLines(LineReader& reader);
    bool readSessionLine(LineReader& reader);
    bool readTimeDescription(LineReader& reader);
    bool readMediaDescription(LineReader& reader);
};

}  // namespace kel_sip
