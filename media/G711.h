// G.711 µ-law (ITU-T G.711 table 2a), on 16-bit linear samples with the bias of 132 that
// puts the 14-bit code range at the top of the 16-bit one.
#pragma once

#include <cstdint>

// The µ-law byte nearest below the sample's magnitude; beyond 32635 the top code.
std::uint8_t linearToUlaw(std::int16_t sample) noexcept;

// The linear value at the middle of the byte's step.
std::int16_t ulawToLinear(std::uint8_t code) noexcept;
