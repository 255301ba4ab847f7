#include "kel_sip/syntax/SipDigestChallenge.h"

#include "kel_sip/syntax/SipDigestParams.h"
#include "kel_sip/syntax/SipTokenizer.h"
#include "kel_util/HeaderField.h"

namespace kel_sip {

using kel_util::equalsIgnoreCase;

bool SipDigestChallenge::empty() const {
    return realm.empty() && domain.empty() && nonce.empty() && opaque.empty() && !stale && algorithm.empty() &&
           qopOptions.empty();
}

void SipDigestChallenge::parse(const char* data, int length, bool clearFirst) {
    parseDigestParam(*this, data, length, clearFirst, "invalid digest challenge", "unsupported challenge",
                     [this](std::string_view name, std::string_view value) { take(name, value); });
}

void SipDigestChallenge::take(std::string_view name, std::string_view value) {
    if (equalsIgnoreCase(name, "realm")) {
        realm = value;
    } else if (equalsIgnoreCase(name, "domain")) {
        domain = value;
    } else if (equalsIgnoreCase(name, "nonce")) {
        nonce = value;
    } else if (equalsIgnoreCase(name, "opaque")) {
        opaque = value;
    } else if (equalsIgnoreCase(name, "algorithm")) {
        algorithm = value;
    } else if (equalsIgnoreCase(name, "stale")) {
        stale = equalsIgnoreCase(value, "true");
    } else if (equalsIgnoreCase(name, "qop")) {
        // qop-options is a 1#qop-value list, so LWS may surround each comma.
        SipTokenizer options(value);
        int optionLength = 0;
        while (const char* option = options.nextTrimmedToken(',', optionLength)) {
            const std::string_view trimmed = SipTokenizer::trimLws({option, static_cast<std::size_t>(optionLength)});
            if (!trimmed.empty()) qopOptions.emplace_back(trimmed);
        }
    }
}

void SipDigestChallenge::print(std::string& out) const {
    if (realm.empty()) return;
    DigestParameterWriter writer(out);
    writer.add("realm", realm, true);
    writer.addIfSet("domain", domain, true);
    writer.addIfSet("nonce", nonce, true);
    writer.addIfSet("opaque", opaque, true);
    // stale is a token, never quoted (RFC 2617 section 3.2.1).
    if (stale) writer.add("stale", "true", false);
    writer.addIfSet("algorithm", algorithm, false);
    if (qopOptions.empty()) return;
    std::string joined;
    for (const std::string& option : qopOptions) {
        if (!joined.empty()) joined += ',';
        joined += option;
    }
    writer.add("qop", joined, true);
}

}  // namespace kel_sip
