#include "kel_sip/syntax/SipDigestResponse.h"

#include <time.h>

#include <cstdio>

#include "kel_sip/syntax/SipDigestHash.h"
#include "kel_sip/syntax/SipDigestParams.h"
#include "kel_sip/syntax/SipSwitches.h"
#include "kel_util/Exception.h"
#include "kel_util/HeaderField.h"
#include "kel_util/Log.h"
#include "kel_util/Random.h"

namespace kel_sip {

using kel_util::equalsIgnoreCase;

namespace {

// 1 to 8 hexadecimal digits, as nc-value is written (RFC 2617 section 3.2.2).
std::uint32_t parseNonceCount(std::string_view text) {
    if (text.empty() || text.size() > 8) throw SipParseException("invalid nc");
    std::uint32_t value = 0;
    for (const char c : text) {
        int digit = 0;
        if (c >= '0' && c <= '9') {
            digit = c - '0';
        } else if (c >= 'a' && c <= 'f') {
            digit = c - 'a' + 10;
        } else if (c >= 'A' && c <= 'F') {
            digit = c - 'A' + 10;
        } else {
            throw SipParseException("invalid nc");
        }
        value = value << 4 | static_cast<std::uint32_t>(digit);
    }
    return value;
}

std::string hexCount(std::uint32_t count) {
    char text[9];
    std::snprintf(text, sizeof text, "%08x", count);
    return text;
}

// The wall clock in milliseconds; 0 when it cannot be read.
unsigned long wallClockMillis() {
    timespec now{};
    if (clock_gettime(CLOCK_REALTIME, &now) != 0) return 0;
    return static_cast<unsigned long>(now.tv_sec) * 1000 + static_cast<unsigned long>(now.tv_nsec / 1000000);
}

std::uint32_t osRandomNumber() {
    std::uint32_t value = 0;
    try {
        kel_util::osRandomBytes(&value, sizeof value);
    } catch (const kel_util::Throwable& e) {
        kel_util::logPrint(kel_util::MIN, "SipDigestResponse::authorize. %s\n", e.toString().c_str());
        value = kel_util::randomUInt32();
    }
    return value;
}

// MD5 over the time in milliseconds and a random number, each as eight hexadecimal digits.
std::string makeCnonce() {
    char seed[32];
    std::snprintf(seed, sizeof seed, "%08lx:%08lx", wallClockMillis() & 0xffffffffUL,
                  static_cast<unsigned long>(osRandomNumber()));
    return md5Hex(seed);
}

// The qop to answer with: preferred first, the other one when only it is offered.
std::string chooseQop(const std::vector<std::string>& offered, bool preferAuthInt) {
    const auto isOffered = [&offered](std::string_view qop) {
        for (const std::string& option : offered) {
            if (equalsIgnoreCase(option, qop)) return true;
        }
        return false;
    };
    const char* first = preferAuthInt ? "auth-int" : "auth";
    const char* second = preferAuthInt ? "auth" : "auth-int";
    if (isOffered(first)) return first;
    if (isOffered(second)) return second;
    return {};
}

// The hash an algorithm name calls for and whether it is a session variant, which hashes A1
// once more (RFC 7616 sections 3.4.2 and 6.1). A name outside those hashes with MD5, as an
// absent one does.
struct DigestAlgorithm {
    SipDigestHashKind hash = SipDigestHashKind::Md5;
    bool session = false;
    bool known = true;
};

DigestAlgorithm digestAlgorithm(std::string_view name) {
    constexpr std::string_view kSession = "-sess";
    DigestAlgorithm result;
    result.session = name.size() > kSession.size() && equalsIgnoreCase(name.substr(name.size() - kSession.size()), kSession);
    const std::string_view base = result.session ? name.substr(0, name.size() - kSession.size()) : name;
    if (equalsIgnoreCase(base, "SHA-256")) {
        result.hash = SipDigestHashKind::Sha256;
    } else if (equalsIgnoreCase(base, "SHA-512-256")) {
        result.hash = SipDigestHashKind::Sha512_256;
    } else if (!name.empty() && !equalsIgnoreCase(base, "MD5")) {
        result.session = false;
        result.known = false;
    }
    return result;
}

// The parts separated by single colons; empty parts keep their place.
std::string joined(std::initializer_list<std::string_view> parts) {
    std::string text;
    const char* separator = "";
    for (const std::string_view part : parts) {
        text += separator;
        text += part;
        separator = ":";
    }
    return text;
}

}  // namespace

bool SipDigestResponse::computesAlgorithm(std::string_view name) { return digestAlgorithm(name).known; }

bool SipDigestResponse::empty() const {
    return username.empty() && realm.empty() && nonce.empty() && uri.empty() && response.empty() &&
           algorithm.empty() && cnonce.empty() && opaque.empty() && qop.empty() && nonceCount == 0;
}

void SipDigestResponse::parse(const char* data, int length, bool clearFirst) {
    parseDigestParam(*this, data, length, clearFirst, "invalid digest response", "unsupported response",
                     [this](std::string_view name, std::string_view value) { take(name, value); });
    // A bare "Digest" is empty; any other credentials need a username (RFC 2617 section
    // 3.2.2), without which print would write nothing and lose the rest.
    if (username.empty() && !empty()) {
        if (clearFirst) clear();
        throw SipParseException("invalid digest response", SipParseException("no username"));
    }
}

void SipDigestResponse::take(std::string_view name, std::string_view value) {
    struct Field {
        const char* name;
        std::string SipDigestResponse::*member;
    };
    static const Field fields[] = {
        {"username", &SipDigestResponse::username}, {"realm", &SipDigestResponse::realm},
        {"nonce", &SipDigestResponse::nonce},       {"uri", &SipDigestResponse::uri},
        {"response", &SipDigestResponse::response}, {"algorithm", &SipDigestResponse::algorithm},
        {"cnonce", &SipDigestResponse::cnonce},     {"opaque", &SipDigestResponse::opaque},
        {"qop", &SipDigestResponse::qop},
    };
    for (const Field& field : fields) {
        if (equalsIgnoreCase(name, field.name)) {
            this->*field.member = value;
            return;
        }
    }
    if (equalsIgnoreCase(name, "nc")) nonceCount = parseNonceCount(value);
}

void SipDigestResponse::print(std::string& out) const {
    if (username.empty()) return;
    DigestParameterWriter writer(out);
    writer.add("username", username, true);
    writer.addIfSet("realm", realm, true);
    writer.addIfSet("nonce", nonce, true);
    writer.addIfSet("uri", uri, true);
    writer.addIfSet("response", response, true);
    writer.addIfSet("algorithm", algorithm, false);
    writer.addIfSet("cnonce", cnonce, true);
    writer.addIfSet("opaque", opaque, true);
    writer.addIfSet("qop", qop, false);
    if (nonceCount != 0) writer.add("nc", hexCount(nonceCount), false);
}

void SipDigestResponse::authorize(const SipDigestChallenge& challenge, std::string_view username,
                                  std::string_view password, std::string_view method, const SipURI& requestUri,
                                  std::uint32_t nonceCount, std::string_view body, bool preferAuthInt) {
    clear();
    this->username = username;
    if (!challenge.qopOptions.empty()) {
        cnonce = makeCnonce();
        this->nonceCount = nonceCount;
    }
    // The digest-uri is the Request-URI as it goes on the wire (RFC 2617 section 3.2.2.5), so
    // it is escaped when the start line is.
    uri.clear();
    const bool escape = sipSwitch(SipSwitch::EscapeRequestURI);
    requestUri.print(uri, escape, escape, escape);
    realm = challenge.realm;
    nonce = challenge.nonce;
    opaque = challenge.opaque;
    algorithm = challenge.algorithm;
    qop = chooseQop(challenge.qopOptions, preferAuthInt);
    SipDigestInput input;
    input.username = username;
    input.password = password;
    input.method = method;
    input.uri = uri;
    input.realm = realm;
    input.algorithm = algorithm;
    input.qop = qop;
    input.nonce = nonce;
    input.nonceCount = this->nonceCount;
    input.cnonce = cnonce;
    input.body = body;
    response = digest(input);
}

std::string SipDigestResponse::digest(const SipDigestInput& input) {
    const DigestAlgorithm algorithm = digestAlgorithm(input.algorithm);
    const auto hash = [&algorithm](std::string_view data) { return hashHex(algorithm.hash, data); };
    std::string ha1 = hash(joined({input.username, input.realm, input.password}));
    if (algorithm.session) ha1 = hash(joined({ha1, input.nonce, input.cnonce}));
    std::string a2 = joined({input.method, input.uri});
    const bool authInt = equalsIgnoreCase(input.qop, "auth-int");
    if (authInt) a2 = joined({a2, hash(input.body)});
    const std::string ha2 = hash(a2);
    if (authInt || equalsIgnoreCase(input.qop, "auth")) {
        return hash(joined({ha1, input.nonce, hexCount(input.nonceCount), input.cnonce, input.qop, ha2}));
    }
    return hash(joined({ha1, input.nonce, ha2}));
}

}  // namespace kel_sip
