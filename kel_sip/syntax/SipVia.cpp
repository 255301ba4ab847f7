#include "kel_sip/syntax/SipVia.h"

#include "kel_sip/syntax/SipFieldParse.h"
#include "kel_sip/syntax/SipNumber.h"
#include "kel_sip/syntax/SipTransportType.h"

namespace kel_sip {
namespace {

constexpr int maxTtl = 255;  // RFC 3261 section 25.1: ttl = 1*3DIGIT ; 0 to 255
constexpr int maxPort = 65535;

void appendParameter(std::string& out, const char* prefix, const std::string& value) {
    if (value.empty()) return;
    out += prefix;
    out += value;
}

}  // namespace

bool SipVia::empty() const {
    return transport_.empty() && sentBy_.empty() && ttl_ < 0 && maddr_.empty() && received_.empty() &&
           branch_.empty() && rport_ < 0 && !alias_ && SipGenericField::empty();
}

void SipVia::clear() {
    *this = SipVia();
}

void SipVia::parse(const char* data, int length, bool clearFirst) {
    parseWrapped(*this, clearFirst, "invalid via", [&] {
        SipTokenizer tokenizer(data, length);
        protocol_ = nextRequiredToken(tokenizer, '/', "no via");
        version_ = nextRequiredToken(tokenizer, '/', "no protocol version");
        transport_ = nextRequiredWord(tokenizer, "no transport");
        // print writes nothing without all three, so an empty one would make the Via vanish
        // from a message that is printed and read again.
        if (protocol_.empty() || version_.empty() || transport_.empty()) {
            throw SipParseException("empty protocol, version or transport");
        }
        // Tokens (RFC 3261 section 25.1): a quote here would pair with one of a later element
        // when the Via list is split, and swallow the comma between them.
        if (!isSipToken(protocol_) || !isSipToken(version_) || !isSipToken(transport_)) {
            throw SipParseException("invalid protocol, version or transport");
        }
        const std::string_view sentBy = nextLeadingToken(tokenizer, "no sentby");
        sentBy_.parse(sentBy.data(), static_cast<int>(sentBy.size()), true);
        parseParameters(tokenizer);
    });
}

bool SipVia::takeParameter(std::string_view name, std::string_view value) {
    using kel_util::equalsIgnoreCase;
    if (equalsIgnoreCase(name, "ttl")) {
        if (!value.empty()) ttl_ = parseInt(value, 0, maxTtl, "invalid ttl");
    } else if (equalsIgnoreCase(name, "maddr")) {
        maddr_.assign(value);
    } else if (equalsIgnoreCase(name, "received")) {
        received_.assign(value);
    } else if (equalsIgnoreCase(name, "branch")) {
        branch_.assign(value);
    } else if (equalsIgnoreCase(name, "rport")) {
        rport_ = value.empty() ? 0 : parseInt(value, 0, maxPort, "invalid rport");
    } else if (equalsIgnoreCase(name, "alias")) {
        alias_ = true;
    } else {
        return false;
    }
    return true;
}

void SipVia::print(std::string& out) const {
    if (protocol_.empty() || version_.empty() || transport_.empty() || sentBy_.host.empty()) return;
    out += protocol_;
    out += '/';
    out += version_;
    out += '/';
    out += transport_;
    out += ' ';
    sentBy_.print(out);
    if (ttl_ >= 0) {
        out += ";ttl=";
        out += std::to_string(ttl_);
    }
    appendParameter(out, ";maddr=", maddr_);
    appendParameter(out, ";received=", received_);
    appendParameter(out, ";branch=", branch_);
    if (rport_ == 0) out += ";rport";
    if (rport_ > 0) {
        out += ";rport=";
        out += std::to_string(rport_);
    }
    if (alias_) out += ";alias";
    printParameters(out);
}

bool SipVia::equals(const SipVia& other) const {
    using kel_util::equalsIgnoreCase;
    return equalsIgnoreCase(protocol_, other.protocol_) && equalsIgnoreCase(version_, other.version_) &&
           equalsIgnoreCase(transport_, other.transport_) && sentBy_.equals(other.sentBy_, kTransportUDP) &&
           ttl_ == other.ttl_ && equalsIgnoreCase(maddr_, other.maddr_) &&
           equalsIgnoreCase(received_, other.received_) && equalsIgnoreCase(branch_, other.branch_) &&
           rport_ == other.rport_ && alias_ == other.alias_ && containsParameters(other);
}

}  // namespace kel_sip
