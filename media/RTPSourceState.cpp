#include "media/RTPSourceState.h"

namespace {

std::uint16_t following(std::uint16_t sequenceNumber) { return static_cast<std::uint16_t>(sequenceNumber + 1); }

}  // namespace

int RTPSourceState::checkSource(int payloadType, std::uint32_t ssrc, std::uint16_t sequenceNumber) {
    if (!started_) {
        // The candidate's numbering is learnt from its next packet.
        started_ = true;
        candidate_ = ssrc;
        probation_ = 1;
        return kNewCandidate;
    }
    if (hasCurrent_ && ssrc == current_) {
        if (payloadType != payloadType_) return kWrongPayloadType;
        probation_ = 0;
        const int result = updateSequence(sequenceNumber);
        if (result != kAccepted) return result;
        jumps_ = 0;
        return kAccepted;
    }
    if (ssrc == candidate_) return checkCandidate(payloadType, sequenceNumber);
    takeCandidate(ssrc, sequenceNumber);
    return kNewCandidate;
}

int RTPSourceState::checkCandidate(int payloadType, std::uint16_t sequenceNumber) {
    if (sequenceNumber != following(candidateSequence_)) {
        takeCandidate(candidate_, sequenceNumber);
        return kCandidateOutOfSequence;
    }
    candidateSequence_ = sequenceNumber;
    if (++probation_ < kMinSequential) return kOnProbation;
    hasCurrent_ = true;
    current_ = candidate_;
    payloadType_ = payloadType;
    initSequence(sequenceNumber);
    return kNewSource;
}

void RTPSourceState::takeCandidate(std::uint32_t ssrc, std::uint16_t sequenceNumber) {
    candidate_ = ssrc;
    candidateSequence_ = sequenceNumber;
    probation_ = 1;
}

int RTPSourceState::updateSequence(std::uint16_t sequenceNumber) {
    const auto delta = static_cast<std::uint16_t>(sequenceNumber - highest_);
    if (delta < kMaxDropout) {
        highest_ = sequenceNumber;
        return kAccepted;
    }
    if (delta > 65536 - kMaxMisorder) return kAccepted;  // late or repeated: played where it belongs
    if (sequenceNumber != badSequence_) {
        badSequence_ = following(sequenceNumber);
        jumps_ = 1;
        return kSequenceJump;
    }
    if (++jumps_ < kMinSequential) {
        badSequence_ = following(sequenceNumber);
        return kSequenceJumpAgain;
    }
    // Two packets in sequence after the jump: the source restarted its numbering.
    initSequence(sequenceNumber);
    return kAccepted;
}

void RTPSourceState::initSequence(std::uint16_t sequenceNumber) {
    highest_ = sequenceNumber;
    badSequence_ = kNoSequence;
    jumps_ = 0;
}
