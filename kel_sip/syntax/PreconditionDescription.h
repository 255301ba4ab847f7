// The QoS precondition status of one media stream (RFC 3312 section 5): the desired
// ("des"), current ("curr") and confirmed ("conf") status for each status type.
#pragma once

#include <array>
#include <string>

namespace kel_sip {

// Strength tags of a desired-status line (RFC 3312 section 5.1).
enum class PreconditionStrength : int { Mandatory = 0, Optional = 1, None = 2, Failure = 3, Unknown = 4 };

// Direction tags; Absent means no line is written for that status type.
enum class PreconditionDirection : int { Absent = 0, None = 1, Send = 2, Recv = 3, SendRecv = 4 };

class PreconditionDescription {
public:
    // Index of the status types in the arrays below, in the order the lines are written.
    enum StatusType : int { Local = 0, Remote = 1, E2E = 2 };
    static constexpr int statusTypeCount = 3;

    // Appends, each ended by CR LF, the desired lines ("a=des:qos <strength> <type> <dir>"),
    // then the current ("a=curr:qos <type> <dir>"), then the confirmed ("a=conf:qos ...")
    // lines, each for local, remote and e2e when its direction is not Absent.
    void print(std::string& out) const;
    void clear() { *this = PreconditionDescription(); }

    bool operator==(const PreconditionDescription&) const = default;

    std::array<PreconditionStrength, statusTypeCount> strength{};
    std::array<PreconditionDirection, statusTypeCount> desired{};
    std::array<PreconditionDirection, statusTypeCount> current{};
    std::array<PreconditionDirection, statusTypeCount> confirmed{};
};

}  // namespace kel_sip
