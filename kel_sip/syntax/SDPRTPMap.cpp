#include "kel_sip/syntax/SDPRTPMap.h"

#include <cstdint>

#include "kel_sip/syntax/SDPText.h"

namespace kel_sip {

bool SDPRTPMap::parse(std::string_view text) {
    clear();
    if (readFields(text)) return true;
    clear();
    return false;
}

bool SDPRTPMap::readFields(std::string_view text) {
    auto fields = sdp_text::tokenizerOf(text);
    int length = 0;
    bool found = false;
    if (!sdp_text::parseNumber(sdp_text::nextField(fields), 0, 127, payloadType)) return false;
    const char* encoding = fields.nextToken('/', length, &found);
    if (encoding == nullptr || !found || length == 0) return false;
    encodingName.assign(encoding, static_cast<std::size_t>(length));
    const char* rate = fields.nextToken('/', length, &found);
    const auto rateText = rate == nullptr ? std::optional<std::string_view>()
                                          : std::string_view(rate, static_cast<std::size_t>(length));
    if (!sdp_text::parseNumber(rateText, 1, INT32_MAX, clockRate)) return false;
    if (!found) return true;
    if (fields.atEnd()) return false;
    encodingParameters.assign(fields.rest(), static_cast<std::size_t>(fields.restLength()));
    hasParameters = true;
    return true;
}

void SDPRTPMap::print(std::string& out) const {
    out += std::to_string(payloadType);
    out += ' ';
    out += encodingName;
    out += '/';
    out += std::to_string(clockRate);
    if (!hasParameters) return;
    out += '/';
    out += encodingParameters;
}

}  // namespace kel_sip
