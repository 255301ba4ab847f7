#include "kel_sip/syntax/SDP.h"

#include <cstdint>
#include <utility>

#include "kel_sip/syntax/SDPText.h"
#include "kel_util/Log.h"
#include "kel_util/StringTokenizer.h"

namespace kel_sip {

// Hands out the lines of a body as a type letter and the text after "=", one line of
// look-ahead: a line that ends a media or time description is read again by the session.
class SDP::LineReader {
public:
    enum class Status { Line, End, Malformed };

    LineReader(const char* text, int length) : lines_(text, length) {}

    Status next() {
        if (reread_) {
            reread_ = false;
            return status_;
        }
        status_ = read();
        return status_;
    }
    // The next call of next() gives the same line (or end) again.
    void unread() { reread_ = true; }

    char type() const { return type_; }
    std::string_view text() const { return text_; }
    int lineNumber() const { return lineNumber_; }

private:
    Status read() {
        if (lines_.atEnd()) return Status::End;
        ++lineNumber_;
        if (lines_.restLength() < 3) return Status::Malformed;
        int length = 0;
        const char* line = lines_.nextLine(length);
        if (length < 2 || line[1] != '=') return Status::Malformed;
        type_ = line[0];
        text_ = std::string_view(line + 2, static_cast<std::size_t>(length - 2));
        return Status::Line;
    }

    kel_util::StringTokenizer lines_;
    Status status_ = Status::End;
    bool reread_ = false;
    char type_ = '\0';
    std::string_view text_;
    int lineNumber_ = 0;
};

bool SDP::parse(const char* text, int length) {
    clear();
    LineReader reader(text, length);
    if (readLines(reader)) return true;
    kel_util::logPrint(kel_util::DBG, "SDP::parse. Invalid SDP line %d.\n", reader.lineNumber());
    clear();
    return false;
}

bool SDP::readLines(LineReader& reader) {
    if (reader.next() != LineReader::Status::Line || (reader.type() != 'v' && reader.type() != 'V') ||
        !sdp_text::parseNumber(reader.text(), 0, INT32_MAX, version)) {
        return false;
    }
    for (;;) {
        switch (reader.next()) {
            case LineReader::Status::End: return true;
            case LineReader::Status::Malformed: return false;
            case LineReader::Status::Line: break;
        }
        if (!readSessionLine(reader)) return false;
    }
}

bool SDP::readSessionLine(LineReader& reader) {
    const std::string_view text = reader.text();
    switch (reader.type()) {
        case 'o': return origin.parse(text);
        case 's': sessionName = text; return true;
        case 'u': uri = text; return true;
        case 'e': email = text; return true;
        case 'p': phone = text; return true;
        case 't': return readTimeDescription(reader);
        case 'm': return readMediaDescription(reader);
        default: break;
    }
    // Lines of no interest, "z=" among them, are skipped.
    return parseLine(reader.type(), text) != LineResult::Malformed;
}

bool SDP::readTimeDescription(LineReader& reader) {
    SDPTimeDescription description;
    if (!description.time.parse(reader.text())) return false;
    while (reader.next() == LineReader::Status::Line && reader.type() == 'r') {
        if (!description.repeatTimes.emplace_back().parse(reader.text())) return false;
    }
    reader.unread();
    times.push_back(std::move(description));
    return true;
}

bool SDP::readMediaDescription(LineReader& reader) {
    SDPMediaDescription description;
    if (!description.media.parse(reader.text())) return false;
    for (;;) {
        const LineReader::Status status = reader.next();
        if (status == LineReader::Status::Malformed) return false;
        if (status == LineReader::Status::End) break;
        const LineResult result = description.parseLine(reader.type(), reader.text());
        if (result == LineResult::Malformed) return false;
        if (result == LineResult::NotMine) break;
    }
    reader.unread();
    media.push_back(std::move(description));
    return true;
}

void SDP::print(std::string& out) const {
    sdp_text::appendLine(out, "v=", std::to_string(version));
    // A received body without an origin is printed without one rather than with "o= 0 0   ".
    if (origin.isSet()) sdp_text::appendPartLine(out, "o=", origin);
    sdp_text::appendLine(out, "s=", sessionName);
    if (!information.empty()) sdp_text::appendLine(out, "i=", information);
    if (!uri.empty()) sdp_text::appendLine(out, "u=", uri);
    if (!email.empty()) sdp_text::appendLine(out, "e=", email);
    if (!phone.empty()) sdp_text::appendLine(out, "p=", phone);
    printConnectionAndBandwidth(out);
    for (const SDPTimeDescription& description : times) description.print(out);
    if (timeZones.isSet()) sdp_text::appendPartLine(out, "z=", timeZones);
    printKeyAndAttributes(out, false);
    for (const SDPMediaDescription& description : media) description.print(out);
}

std::string SDP::toString() const {
    std::string out;
    print(out);
    return out;
}

const SDPMediaDescription* SDP::findMedia(const char* mediaType, const char* protocol) const {
    for (const SDPMediaDescription& description : media) {
        if ((mediaType == nullptr || description.media.mediaType == mediaType) &&
            (protocol == nullptr || description.media.protocol == protocol)) {
            return &description;
        }
    }
    return nullptr;
}

SDPMediaDescription* SDP::findMedia(const char* mediaType, const char* protocol) {
    return const_cast<SDPMediaDescription*>(std::as_const(*this).findMedia(mediaType, protocol));
}

}  // namespace kel_sip
