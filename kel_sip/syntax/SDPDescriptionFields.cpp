#include "kel_sip/syntax/SDPDescriptionFields.h"

#include "kel_sip/syntax/SDPText.h"

namespace kel_sip {
namespace {

bool isPreconditionStatus(const std::string& name) { return name == "des" || name == "curr" || name == "conf"; }

}  // namespace

SDPDescriptionFields::LineResult SDPDescriptionFields::parseLine(char type, std::string_view text) {
    bool valid = true;
    switch (type) {
        case 'i':
            information = text;
            break;
        case 'c':
            valid = connection.parse(text);
            break;
        case 'b': {
            SDPAttribute line;
            valid = line.parse(text);
            if (valid) bandwidth.push_back(std::move(line));
            break;
        }
        case 'k':
            valid = key.parse(text);
            break;
        case 'a': {
            SDPAttribute attribute;
            valid = attribute.parse(text);
            if (valid) attributes.push_back(std::move(attribute));
            break;
        }
        default:
            return LineResult::NotMine;
    }
    return valid ? LineResult::Taken : LineResult::Malformed;
}

void SDPDescriptionFields::printConnectionAndBandwidth(std::string& out) const {
    if (connection.isSet()) sdp_text::appendPartLine(out, "c=", connection);
    for (const SDPAttribute& line : bandwidth) {
        if (line.isSet()) sdp_text::appendPartLine(out, "b=", line);
    }
}

void SDPDescriptionFields::printKeyAndAttributes(std::string& out, bool skipPreconditions) const {
    if (key.isSet()) sdp_text::appendPartLine(out, "k=", key);
    for (const SDPAttribute& attribute : attributes) {
        if (!(skipPreconditions && isPreconditionStatus(attribute.name))) sdp_text::appendPartLine(out, "a=", attribute);
    }
}

}  // namespace kel_sip
