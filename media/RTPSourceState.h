// Which RTP source a receiver plays, and whether a packet of it is in sequence: the source
// validation of RFC 3550 appendix A.1. A new SSRC plays only after two packets in sequence;
// a jump of 3000 or more is believed only when the packet after it follows on.
//
// Threads: one at a time (the engine's receiver thread).
#pragma once

#include <cstdint>

class RTPSourceState {
public:
    // Results of checkSource.
    static constexpr int kNewSource = 1;                // a new source is accepted; this is its first packet
    static constexpr int kAccepted = 0;                 // a packet of the current source
    static constexpr int kWrongPayloadType = -1;
    static constexpr int kNewCandidate = -2;            // an SSRC not seen last; it is on probation now
    static constexpr int kCandidateOutOfSequence = -3;
    static constexpr int kOnProbation = -4;
    static constexpr int kSequenceJump = -5;
    static constexpr int kSequenceJumpAgain = -6;

    // RFC 3550 appendix A.1.
    static constexpr int kMaxDropout = 3000;
    static constexpr int kMaxMisorder = 100;
    static constexpr int kMinSequential = 2;

    explicit RTPSourceState(int payloadType = 0) : payloadType_(payloadType) {}

    // Forgets every source; the current source's packets must carry payloadType.
    void reset(int payloadType) { *this = RTPSourceState(payloadType); }

    // Checks one packet that parsed; a negative result means drop it.
    int checkSource(int payloadType, std::uint32_t ssrc, std::uint16_t sequenceNumber);

    bool hasSource() const noexcept { return hasCurrent_; }
    std::uint32_t getSource() const noexcept { return current_; }

private:
    // No 16-bit value: no jump is waiting for its next packet.
    static constexpr std::uint32_t kNoSequence = 65537;

    int checkCandidate(int payloadType, std::uint16_t sequenceNumber);
    void takeCandidate(std::uint32_t ssrc, std::uint16_t sequenceNumber);
    // The sequence update of appendix A.1: 0 or a jump result.
    int updateSequence(std::uint16_t sequenceNumber);
    void initSequence(std::uint16_t sequenceNumber);

    int payloadType_;
    bool started_ = false;
    bool hasCurrent_ = false;
    std::uint32_t current_ = 0;
    std::uint32_t candidate_ = 0;
    std::uint16_t candidateSequence_ = 0;
    int probation_ = 0;
    std::uint16_t highest_ = 0;
    // The number the packet after a jump must carry to be believed.
    std::uint32_t badSequence_ = kNoSequence;
    int jumps_ = 0;
};
