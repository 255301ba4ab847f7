#include "kel_sip/syntax/SDPMediaDescription.h"

#include "kel_sip/syntax/SDPText.h"
#include "kel_util/HeaderField.h"

namespace kel_sip {

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
    while (!fields.atEnd()) {
        int format = 0;
        if (!sdp_text::parseNumber(sdp_text::nextField(fields), 0, 127, format)) return false;
        formats.push_back(format);
    }
    return !formats.empty();
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
