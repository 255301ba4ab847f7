// An RTP payload type with what turns durations into samples and bytes. Only PCMU, payload
// type 0, can be set (RFC 3551 section 4.5.14: 8 bits per sample, 8000 Hz); its silence byte
// is µ-law 0xFF.
//
// Threads: one at a time.
#pragma once

#include <cstdint>

class PayloadType {
public:
    static constexpr int kPCMU = 0;

    // False, leaving the record unset, for any number but 0.
    bool set(int payloadType);
    bool isSet() const noexcept { return clockRate_ > 0; }

    int getPayloadType() const noexcept { return payloadType_; }
    int getBitsPerSample() const noexcept { return bitsPerSample_; }
    int getClockRate() const noexcept { return clockRate_; }
    std::uint8_t getSilence() const noexcept { return silence_; }

    // The conversions truncate, as integer division does; each is 0 while unset.
    int samplesForMs(int ms) const noexcept;
    int bytesForMs(int ms) const noexcept;
    int samplesForBytes(int bytes) const noexcept;
    int bytesForSamples(int samples) const noexcept;
    int msForSamples(int samples) const noexcept;

private:
    int payloadType_ = -1;
    int bitsPerSample_ = 0;
    int clockRate_ = 0;
    std::uint8_t silence_ = 0;
};
