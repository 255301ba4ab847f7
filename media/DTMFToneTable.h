// The sixteen DTMF tones (ITU-T Q.23) as one second of µ-law at 8000 Hz each, for the
// engine to loop while a key is held. Every frequency is a whole number of hertz, so each
// tone completes whole cycles in its 8000 samples and the loop has no seam.
//
// Threads: build and clear on one thread; the tones may then be read from any.
#pragma once

#include <cstdint>
#include <vector>

class DTMFToneTable {
public:
    static constexpr int kToneCount = 16;
    static constexpr int kToneLength = 8000;  // samples, one second

    // Index 0-15 of "0"-"9", "A"-"D" (upper case only), "*", "#"; -1 for anything else.
    static int indexOf(char character) noexcept;
    // The character of index 0-15; '\0' for anything else.
    static char characterOf(int index) noexcept;

    // Builds every tone: sample i is the µ-law of A × (sin(2π·low·i/8000) + sin(2π·high·i/8000))
    // with A = percent × 32767 ÷ 200, so 100 % peaks just inside the 16-bit range. Percentages
    // beyond 0-100 are held to that range, so a sum never overflows the sample.
    void build(int amplitudePercent);
    void clear() { tones_.clear(); }

    bool isBuilt() const noexcept { return !tones_.empty(); }
    // The kToneLength bytes of tone index; null when not built or index is out of range.
    const std::uint8_t* getTone(int index) const noexcept;
    int getToneLength() const noexcept { return isBuilt() ? kToneLength : 0; }

private:
    std::vector<std::uint8_t> tones_;  // kToneCount × kToneLength, tone by tone
};
