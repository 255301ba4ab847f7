// The 100rel rules of an INVITE session (RFC 3262): what a first INVITE offers, whether a
// provisional response goes out reliably and with which headers, and whether a reliable
// provisional received is acknowledged with PRACK.
//
// 100rel process types: 0 none; 1 offer it ("100rel" in Supported; a provisional is reliable
// only when the INVITE required it); 2 require it ("100rel" in Require and Supported; a
// provisional is reliable when the INVITE supported or required it).
//
// Threads: owned by a session and touched under its dialog's entry lock.
#pragma once

#include <cstdint>
#include <optional>

#include "kel_sip/syntax/HeaderListBase.h"
#include "kel_sip/usage/RSeqCounter.h"

namespace kel_sip {

struct ReliableProvisionalSettings {
    bool process100rel = true;  // this side sends PRACK, answers it and retransmits by itself
    int processType = 0;        // 0, 1 or 2 as above
    bool alwaysRSeq = false;    // RSeq on reliable responses even without process100rel
    bool skipChecks = true;     // accept any RSeq order
};

// A provisional response received to an INVITE: an ordinary one, a reliable one to PRACK
// (rseq), or a reliable one whose RSeq is out of order, to be ignored.
struct ReceivedProvisional {
    enum Verdict { Unreliable, Accepted, Refused };
    Verdict verdict = Unreliable;
    std::int64_t rseq = -1;
};

class ReliableProvisionalRules {
public:
    ReliableProvisionalRules() = default;
    explicit ReliableProvisionalRules(const ReliableProvisionalSettings& settings) : settings_(settings) {}

    const ReliableProvisionalSettings& settings() const noexcept { return settings_; }
    ReliableProvisionalSettings& settings() noexcept { return settings_; }

    // The peer's 100rel use named by a request: 2 in Require, 1 in Supported, else 0.
    static int peerUse(const HeaderListBase& request);
    // Whether an INVITE is answered 420 with "100rel" in Unsupported: it requires 100rel
    // and this side runs 100rel with process type 0.
    bool refusesRequired(int peerUse) const;
    // The process type of one INVITE or response: the given one replaces the session's.
    int typeFor(std::optional<int> givenType) const;

    // Adds the 100rel headers of a first INVITE; returns the process type it used.
    int addOfferHeaders(std::optional<int> givenType, HeaderListBase& invite) const;

    // Whether a provisional response to an INVITE of the given peer use goes out reliably.
    // Without process100rel only a given type 2 makes it reliable, whatever the INVITE said.
    bool isReliable(std::optional<int> givenType, int peerUse) const;
    // Adds "100rel" in Require and, with process100rel or alwaysRSeq, RSeq with the next
    // number of counter; returns that number, or -1 when no RSeq went in.
    std::int64_t addReliableHeaders(RSeqCounter& counter, HeaderListBase& response) const;

    // The calling side's view of a provisional response to an INVITE sent with inviteType
    // (lastRSeq -1 before the first reliable one): reliable when process100rel is on, the
    // INVITE offered 100rel, and the response requires 100rel and carries an RSeq that parses.
    ReceivedProvisional checkProvisional(int inviteType, HeaderListBase& response, std::int64_t lastRSeq) const;
    // RFC 3262 section 4: the first RSeq, or the last one plus 1, is accepted; any other is
    // logged as the same, a lower or a higher one and refused, unless skipChecks.
    static bool checkRSeqNumber(std::int64_t lastRSeq, std::int64_t rseq, bool skipChecks);

private:
    ReliableProvisionalSettings settings_;
};

}  // namespace kel_sip
