#include "media/PayloadType.h"

bool PayloadType::set(int payloadType) {
    if (payloadType != kPCMU) return false;
    payloadType_ = kPCMU;
    bitsPerSample_ = 8;
    clockRate_ = 8000;
    silence_ = 0xFF;
    return true;
}

int PayloadType::samplesForMs(int ms) const noexcept {
    return static_cast<int>(static_cast<long long>(ms) * clockRate_ / 1000);
}

int PayloadType::bytesForMs(int ms) const noexcept {
    return static_cast<int>(static_cast<long long>(clockRate_) * bitsPerSample_ * ms / 8000);
}

int PayloadType::samplesForBytes(int bytes) const noexcept {
    return bitsPerSample_ == 0 ? 0 : static_cast<int>(static_cast<long long>(bytes) * 8 / bitsPerSample_);
}

int PayloadType::bytesForSamples(int samples) const noexcept {
    return static_cast<int>(static_cast<long long>(samples) * bitsPerSample_ / 8);
}

int PayloadType::msForSamples(int samples) const noexcept {
    return clockRate_ == 0 ? 0 : static_cast<int>(static_cast<long long>(samples) * 1000 / clockRate_);
}
