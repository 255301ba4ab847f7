#include "media/RTPReceiveStatistics.h"

#include <cmath>

#include "media/RTPSourceState.h"

void RTPReceiveStatistics::start(std::uint32_t ssrc, int clockRate) {
    *this = RTPReceiveStatistics();
    ssrc_ = ssrc;
    clockRate_ = clockRate > 0 ? clockRate : 8000;
}

void RTPReceiveStatistics::onPacket(std::uint16_t sequenceNumber, std::uint32_t timestamp, int payloadBytes,
                                    Clock::time_point arrival, std::chrono::system_clock::time_point wall) {
    ++packets_;
    bytes_ += payloadBytes > 0 ? static_cast<std::uint64_t>(payloadBytes) : 0;
    if (!started_) {
        started_ = true;
        firstArrival_ = arrival;
        firstTimestamp_ = timestamp;
        firstWall_ = wall;
        restartSequence(sequenceNumber);
        updateJitter(timestamp, arrival);
        return;
    }
    if (countSequence(sequenceNumber)) updateJitter(timestamp, arrival);
}

bool RTPReceiveStatistics::countSequence(std::uint16_t sequenceNumber) {
    const auto delta = static_cast<std::uint16_t>(sequenceNumber - static_cast<std::uint16_t>(highest_));
    if (delta == 0) {
        ++duplicated_;
        return false;
    }
    if (delta < RTPSourceState::kMaxDropout) {
        // In order, perhaps with a gap; the extended number carries over a wrap.
        highest_ += delta;
        seen_ = delta >= kWindow ? std::bitset<kWindow>() : seen_ << delta;
        seen_.set(0);
        ++uniqueSinceBase_;
        return true;
    }
    const int behind = 65536 - delta;
    if (behind <= RTPSourceState::kMaxMisorder) {
        if (static_cast<std::uint64_t>(behind) > highest_ - baseSequence_) {
            // Older than the stream's first packet: the stream began later than it thought.
            baseSequence_ = highest_ - static_cast<std::uint64_t>(behind);
        } else if (seen_.test(static_cast<std::size_t>(behind))) {
            ++duplicated_;
            return false;
        }
        seen_.set(static_cast<std::size_t>(behind));
        ++outOfOrder_;
        ++uniqueSinceBase_;
        return true;
    }
    // A jump the source check took (it drops the packets of one it does not believe).
    const std::uint64_t expected = highest_ - baseSequence_ + 1;
    lostBefore_ += expected > uniqueSinceBase_ ? expected - uniqueSinceBase_ : 0;
    restartSequence(sequenceNumber);
    return true;
}

void RTPReceiveStatistics::restartSequence(std::uint16_t sequenceNumber) {
    // Extended numbers start one cycle up so that a packet from before the first stays positive.
    baseSequence_ = 65536 + std::uint64_t{sequenceNumber};
    highest_ = baseSequence_;
    seen_.reset();
    seen_.set(0);
    uniqueSinceBase_ = 1;
}

void RTPReceiveStatistics::updateJitter(std::uint32_t timestamp, Clock::time_point arrival) {
    // Transit time in timestamp units, both sides relative to the first packet so that the
    // values stay small; only differences of it count.
    const double arrivalUnits =
        std::chrono::duration<double>(arrival - firstArrival_).count() * static_cast<double>(clockRate_);
    const auto sent = static_cast<std::int32_t>(timestamp - firstTimestamp_);
    const double transit = arrivalUnits - static_cast<double>(sent);
    if (hasTransit_) {
        const double d = std::fabs(transit - lastTransit_);
        jitter_ += (d - jitter_) / 16.0;
    }
    hasTransit_ = true;
    lastTransit_ = transit;
}

void RTPReceiveStatistics::fill(RTPReceiveReport& report) const {
    report.hasStream = started_;
    report.ssrc = ssrc_;
    report.packets = packets_;
    report.bytes = bytes_;
    const std::uint64_t expected = started_ ? highest_ - baseSequence_ + 1 : 0;
    report.lost = lostBefore_ + (expected > uniqueSinceBase_ ? expected - uniqueSinceBase_ : 0);
    report.duplicated = duplicated_;
    report.outOfOrder = outOfOrder_;
    report.jitterMs = jitter_ * 1000.0 / static_cast<double>(clockRate_);
    report.firstArrival = firstWall_;
}
