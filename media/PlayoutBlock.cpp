#include "media/PlayoutBlock.h"

#include <algorithm>
#include <cstring>

#include "kel_util/Log.h"

void PlayoutBlock::configure(const PayloadType& payloadType, int blockMs, Sink sink) {
    payloadType_ = payloadType;
    sink_ = std::move(sink);
    block_.assign(static_cast<std::size_t>(std::max(payloadType.bytesForMs(blockMs), 1)), payloadType.getSilence());
    blockSamples_ = static_cast<std::uint32_t>(payloadType.samplesForBytes(static_cast<int>(block_.size())));
    base_ = 0;
    filled_ = false;
}

void PlayoutBlock::restart(std::uint32_t timestamp) {
    clear();
    base_ = timestamp;
}

bool PlayoutBlock::add(std::uint32_t timestamp, const std::uint8_t* payload, int length) {
    // Timestamps compare modulo 2^32 (RFC 3550 section 5.1), so a wrap needs no special case.
    const auto ahead = static_cast<std::int32_t>(timestamp - base_);
    if (ahead < 0) {
        kel_util::logPrint(kel_util::DBG, "RTPReceiver::run. Past TimeStamp=%u, Data address=%p, length=%d.\n",
                           timestamp, static_cast<const void*>(payload), length);
        return false;
    }
    if (timestamp < base_) {
        kel_util::logPrint(kel_util::DEV, "RTPReceiver::run. Modulated TimeStamp=%u, Data address=%p, length=%d.\n",
                           timestamp, static_cast<const void*>(payload), length);
    }
    auto position = static_cast<std::size_t>(payloadType_.bytesForSamples(ahead));
    if (position >= block_.size()) {
        // The packet starts beyond the block: what the block holds will get no more.
        handOn();
        position -= block_.size();
        if (position >= block_.size()) {
            // A gap of more than a block: start again at this packet rather than play the gap.
            restart(timestamp);
            position = 0;
        }
    }
    auto rest = static_cast<std::size_t>(std::max(length, 0));
    while (rest > 0) {
        const std::size_t n = std::min(rest, block_.size() - position);
        std::memcpy(block_.data() + position, payload, n);
        filled_ = true;
        payload += n;
        rest -= n;
        position += n;
        if (position == block_.size()) {
            handOn();
            position = 0;
        }
    }
    return true;
}

void PlayoutBlock::flush() {
    if (filled_) handOn();
}

void PlayoutBlock::handOn() {
    if (filled_ && sink_) sink_(block_.data(), block_.size());
    clear();
    base_ += blockSamples_;
}

void PlayoutBlock::clear() {
    std::fill(block_.begin(), block_.end(), payloadType_.getSilence());
    filled_ = false;
}
