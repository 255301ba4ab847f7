#include "kel_sip/syntax/SipHeader.h"

#include <array>
#include <cstring>

namespace kel_sip {
namespace {

struct Entry {
    const char* name;
    const char* compact;
    unsigned char length;
};

constexpr unsigned char lengthOf(const char* s) {
    unsigned char n = 0;
    while (s[n] != '\0') ++n;
    return n;
}

#define KEL_ENTRY(name, compact) Entry{name, compact, lengthOf(name)}
constexpr std::array<Entry, SipHeader::Count> kTable = {{
    KEL_ENTRY("Accept", nullptr), KEL_ENTRY("Accept-Encoding", nullptr), KEL_ENTRY("Accept-Language", nullptr),
    KEL_ENTRY("Call-ID", "i"), KEL_ENTRY("Call-Info", nullptr), KEL_ENTRY("Contact", "m"),
    KEL_ENTRY("CSeq", nullptr), KEL_ENTRY("Date", nullptr), KEL_ENTRY("Encryption", nullptr),
    KEL_ENTRY("From", "f"), KEL_ENTRY("MIME-Version", nullptr), KEL_ENTRY("Organization", nullptr),
    KEL_ENTRY("Record-Route", nullptr), KEL_ENTRY("Require", nullptr), KEL_ENTRY("Supported", "k"),
    KEL_ENTRY("Timestamp", nullptr), KEL_ENTRY("To", "t"), KEL_ENTRY("User-Agent", nullptr),
    KEL_ENTRY("Via", "v"), KEL_ENTRY("Allow", nullptr), KEL_ENTRY("Content-Disposition", nullptr),
    KEL_ENTRY("Content-Encoding", "e"), KEL_ENTRY("Content-Language", nullptr), KEL_ENTRY("Content-Length", "l"),
    KEL_ENTRY("Content-Type", "c"), KEL_ENTRY("Expires", nullptr), KEL_ENTRY("Alert-Info", nullptr),
    KEL_ENTRY("Authorization", nullptr), KEL_ENTRY("In-Reply-To", nullptr), KEL_ENTRY("Max-Forwards", nullptr),
    KEL_ENTRY("Priority", nullptr), KEL_ENTRY("Proxy-Authorization", nullptr), KEL_ENTRY("Proxy-Require", nullptr),
    KEL_ENTRY("Route", nullptr), KEL_ENTRY("Response-Key", nullptr), KEL_ENTRY("Subject", "s"),
    KEL_ENTRY("Error-Info", nullptr), KEL_ENTRY("Proxy-Authenticate", nullptr), KEL_ENTRY("Retry-After", nullptr),
    KEL_ENTRY("Server", nullptr), KEL_ENTRY("Unsupported", nullptr), KEL_ENTRY("Warning", nullptr),
    KEL_ENTRY("WWW-Authenticate", nullptr), KEL_ENTRY("Min-Expires", nullptr), KEL_ENTRY("Reason-Phrase", nullptr),
    KEL_ENTRY("Session-Expires", "x"), KEL_ENTRY("Min-SE", nullptr), KEL_ENTRY("Remote-Party-ID", nullptr),
    KEL_ENTRY("Anonymity", nullptr), KEL_ENTRY("Diversion", nullptr), KEL_ENTRY("RSeq", nullptr),
    KEL_ENTRY("RAck", nullptr), KEL_ENTRY("Allow-Events", nullptr), KEL_ENTRY("Event", nullptr),
    KEL_ENTRY("Subscription-State", nullptr), KEL_ENTRY("Refer-To", nullptr), KEL_ENTRY("Referred-By", nullptr),
    KEL_ENTRY("P-Associated-URI", nullptr), KEL_ENTRY("P-Preferred-Identity", nullptr), KEL_ENTRY("Path", nullptr),
    KEL_ENTRY("Privacy", nullptr), KEL_ENTRY("Replaces", nullptr), KEL_ENTRY("SIP-ETag", nullptr),
    KEL_ENTRY("SIP-If-Match", nullptr), KEL_ENTRY("P-Asserted-Identity", nullptr),
}};
#undef KEL_ENTRY

constexpr unsigned char fold(unsigned char c) { return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c + 32) : c; }

bool sameName(const char* a, const char* b, int length) {
    // Most senders spell a name as the table does; one byte comparison settles those.
    if (std::memcmp(a, b, static_cast<size_t>(length)) == 0) return true;
    for (int i = 0; i < length; ++i) {
        if (fold(static_cast<unsigned char>(a[i])) != fold(static_cast<unsigned char>(b[i]))) return false;
    }
    return true;
}

// The longest full name in the table ("P-Preferred-Identity").
constexpr int kMaxNameLength = 20;
// At most two kinds share a first letter and a length ("Call-ID" and "Contact"); a slot has
// room for one more, and building the index below fails to compile when one overflows.
constexpr int kSlotSize = 3;

// Compact forms that peers send for kinds of the table but that are never printed: a NOTIFY
// with "o: presence" names its Event all the same (IANA SIP header field registry).
struct CompactAlias {
    char letter;
    signed char kind;
};
constexpr CompactAlias kReadOnlyCompactForms[] = {
    {'o', SipHeader::Event},        // RFC 6665
    {'u', SipHeader::AllowEvents},  // RFC 6665
    {'r', SipHeader::ReferTo},      // RFC 3515
    {'b', SipHeader::ReferredBy},   // RFC 3892
};

// Kinds grouped by the folded first letter and the length of their full name, so a lookup
// compares the name with one candidate in most cases; -1 ends each group.
struct Index {
    std::array<std::array<std::array<signed char, kSlotSize>, kMaxNameLength + 1>, 26> byLetterAndLength{};
    std::array<signed char, 26> compactKind{};

    constexpr Index() {
        for (auto& byLength : byLetterAndLength) {
            for (auto& slot : byLength) slot.fill(-1);
        }
        compactKind.fill(-1);
        for (int kind = 0; kind < SipHeader::Count; ++kind) {
            const int letter = fold(static_cast<unsigned char>(kTable[kind].name[0])) - 'a';
            auto& slot = byLetterAndLength[letter][kTable[kind].length];
            int used = 0;
            while (slot[used] >= 0) ++used;  // past the end fails the constant evaluation
            slot[used] = static_cast<signed char>(kind);
            if (kTable[kind].compact != nullptr) compactKind[kTable[kind].compact[0] - 'a'] = static_cast<signed char>(kind);
        }
        for (const CompactAlias& alias : kReadOnlyCompactForms) compactKind[alias.letter - 'a'] = alias.kind;
    }
};

constexpr Index kIndex;

}  // namespace

int SipHeader::kindOf(const char* name, int length) noexcept {
    if (name == nullptr || length <= 0) return Unknown;
    const int letter = fold(static_cast<unsigned char>(name[0])) - 'a';
    if (letter < 0 || letter >= 26) return Unknown;
    if (length == 1) return kIndex.compactKind[letter];
    if (length > kMaxNameLength) return Unknown;
    for (signed char kind : kIndex.byLetterAndLength[letter][length]) {
        if (kind < 0) break;
        if (sameName(kTable[kind].name, name, length)) return kind;
    }
    return Unknown;
}

const char* SipHeader::name(int kind) noexcept {
    return kind >= 0 && kind < Count ? kTable[kind].name : nullptr;
}

const char* SipHeader::compactName(int kind) noexcept {
    return kind >= 0 && kind < Count ? kTable[kind].compact : nullptr;
}

const char* SipHeader::printName(int kind, bool compact) noexcept {
    const char* shortName = compact ? compactName(kind) : nullptr;
    return shortName != nullptr ? shortName : name(kind);
}

}  // namespace kel_sip
