#include "kel_sip/syntax/SDPMediaDescription.h"

#include "kel_sip/syntax/SDPText.h"
#include "kel_util/HeaderField.h"

namespace kel_sip {
namespace {

// RFC 4566 section 9: token-char, printable ASCII but for the separators.
bool isToken(std::string_view text) {
    constexpr std::string_view kSeparators = "\"(),/:;<=>?@[\\]";
    if (text.empty()) return false;
    for (const unsigned char c : text) {
        if (c <= ' ' || c >= 0x7f || kSeparators.find(static_cast<char>(c)) != std::string_view::npos) return false;
    }
    return true;
}

// The profiles whose formats are RTP payload types: RTP/AVP, RTP/SAVP, UDP/TLS/RTP/SAVPF...
bool isRtpProtocol(std::string_view protocol) {
    for (size_t i = 0; i + 4 <= protocol.size(); ++i) {
        if (kel_util::equalsIgnoreCase(protocol.substr(i, 4), "RTP/")) return true;
    }
    return false;
}

}  // namespace

bool SDPMedia::parse(std::string_view text) {
    clear();
    if (readFields(text)) return true;
    clear();
    return false;
}

bool SDPMedia::readFields(std::string_view text) {
    auto fields = sdp_text::tokenizerOf(text);
    int length = 0;
    char hit = '\0';
    const auto type = sdp_text::nextField(fields);
    if (!type) return false;
    mediaType = *type;
    const char* portText = fields.nextTokenAny(" \t/", length, &hit);
    if (portText == nullptr ||
        !sdp_text::parseNumber(std::string_view(portText, static_cast<std::size_t>(length)), 0, UINT16_MAX, port)) {
        return false;
    }
    if (hit == '/' && !sdp_text::parseNumber(sdp_text::nextField(fields), 1, UINT16_MAX, numberOfPorts)) {
        return false;
    }
    const auto proto = sdp_text::nextField(fields);
    if (!proto) return false;
    protocol = *proto;
    std::vector<std::string_view> list;
    while (!fields.atEnd()) {
        const auto field = sdp_text::nextField(fields);
        if (!field || !isToken(*field)) return false;
        list.push_back(*field);
    }
    // Payload type numbers when every format is one; otherwise tokens, which only a protocol
    // other than an RTP profile takes.
    for (const std::string_view field : list) {
        int format = 0;
        if (!sdp_text::parseNumber(field, 0, 127, format)) break;
        formats.push_back(format);
    }
    if (formats.size() == list.size()) return !formats.empty();
    formats.clear();
    if (isRtpProtocol(protocol)) return false;
    formatTokens.assign(list.begin(), list.end());
    return true;
}

void SDPMedia::print(std::string& out) const {
    out += mediaType;
    out += ' ';
    out += std::to_string(port);
    if (numberOfPorts > 1) {
        out += '/';
        out += std::to_string(numberOfPorts);
    }
    out += ' ';
    out += protocol;
    for (const int format : formats) {
        out += ' ';
        out += std::to_string(format);
    }
    for (const std::string& format : formatTokens) {
        out += ' ';
        out += format;
    }
}

void SDPMediaDescription::print(std::string& out) const {
    sdp_text::appendPartLine(out, "m=", media);
    if (!information.empty()) sdp_text::appendLine(out, "i=", information);
    printConnectionAndBandwidth(out);
    printKeyAndAttributes(out, preconditions);
    if (!preconditions) return;
    for (const PreconditionDescription& description : preconditionDescriptions) description.print(out);
}

void SDPMediaDescription::addRtpMap(const SDPRTPMap& rtpMap) {
    media.formats.push_back(rtpMap.payloadType);
    std::string value;
    rtpMap.print(value);
    addAttribute("rtpmap", std::move(value));
}

void SDPMediaDescription::addAttribute(std::string name, std::string value) {
    attributes.emplace_back(std::move(name), std::move(value));
}

int SDPMediaDescription::telephoneEventPayload() const {
    for (const int format : media.formats) {
        for (const SDPAttribute& attribute : attributes) {
            if (attribute.name != "rtpmap") continue;
            SDPRTPMap rtpMap;
            if (rtpMap.parse(attribute.value) && rtpMap.payloadType == format &&
                kel_util::equalsIgnoreCase(rtpMap.encodingName, "telephone-event")) {
                return format;
            }
        }
    }
    return -1;
}

bool SDPMediaDescription::operator==(const SDPMediaDescription& other) const {
    return media == other.media && SDPDescriptionFields::operator==(other);
}

}  // namespace kel_sip
