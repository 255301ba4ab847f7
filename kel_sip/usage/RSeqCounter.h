// The RSeq numbers of the reliable provisional responses this side sends (RFC 3262 section
// 3): 1, 2, 3 ... Kept within 1..2**31-1, the range the RFC allows for the first number of a
// transaction, so whichever response starts a transaction its number is valid; past the top
// it starts at 1 again.
//
// Threads: owned by a session and touched under its dialog's entry lock.
#pragma once

#include <cstdint>

namespace kel_sip {

class RSeqCounter {
public:
    static constexpr std::int64_t kMax = 0x7fffffff;

    RSeqCounter() = default;
    // Goes on after last (RFC 3262 allows a random first number).
    explicit RSeqCounter(std::int64_t last) : last_(last) {}

    std::int64_t next() noexcept {
        last_ = last_ >= kMax || last_ < 0 ? 1 : last_ + 1;
        return last_;
    }
    // The number last handed out; 0 before the first.
    std::int64_t last() const noexcept { return last_; }

private:
    std::int64_t last_ = 0;
};

}  // namespace kel_sip
