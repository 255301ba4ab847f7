#include "kel_sip/syntax/SDPFields.h"

#include <cstdint>

#include "kel_sip/syntax/SDPText.h"

namespace kel_sip {

using sdp_text::nextField;
using sdp_text::parseNumber;
using sdp_text::restOf;

namespace {

// nettype SP addrtype SP address, the tail that "o=" and "c=" lines share.
void printLocation(std::string& out, const std::string& networkType, const std::string& addressType,
                   const std::string& address) {
    out += networkType;
    out += ' ';
    out += addressType;
    out += ' ';
    out += address;
}

}  // namespace

bool SDPOrigin::parse(std::string_view text) {
    clear();
    auto fields = sdp_text::tokenizerOf(text);
    const auto user = nextField(fields);
    const bool numbers = user && sdp_text::parseUnsigned64(nextField(fields), sessionId) &&
                         sdp_text::parseUnsigned64(nextField(fields), sessionVersion);
    // The rest is the same nettype, addrtype and address as a "c=" line.
    const auto rest = numbers ? restOf(fields) : std::nullopt;
    SDPConnection location;
    if (!rest || !location.parse(*rest)) {
        clear();
        return false;
    }
    userName = *user;
    networkType = std::move(location.networkType);
    addressType = std::move(location.addressType);
    address = std::move(location.address);
    return true;
}

void SDPOrigin::print(std::string& out) const {
    out += userName;
    out += ' ';
    out += std::to_string(sessionId);
    out += ' ';
    out += std::to_string(sessionVersion);
    out += ' ';
    printLocation(out, networkType, addressType, address);
}

bool SDPConnection::parse(std::string_view text) {
    clear();
    auto fields = sdp_text::tokenizerOf(text);
    const auto network = nextField(fields);
    const auto type = nextField(fields);
    const auto rest = restOf(fields);
    if (!network || !type || !rest) return false;
    networkType = *network;
    addressType = *type;
    address = *rest;
    return true;
}

void SDPConnection::print(std::string& out) const { printLocation(out, networkType, addressType, address); }

bool SDPAttribute::parse(std::string_view text) {
    clear();
    const auto colon = text.find(':');
    if (colon == std::string_view::npos) {
        name = text;
        return true;
    }
    if (colon + 1 == text.size()) return false;
    name = text.substr(0, colon);
    value = text.substr(colon + 1);
    return true;
}

void SDPAttribute::print(std::string& out) const {
    out += name;
    if (value.empty()) return;
    out += ':';
    out += value;
}

}  // namespace kel_sip
