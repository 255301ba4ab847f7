// The process-wide random engine for protocol identifiers (branches, tags, Call-IDs, RTP
// SSRC and sequence numbers): seeded from the operating system, guarded by a mutex.
// randomUInt32 never returns the same value twice within 2^32 calls.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kel_util {

std::uint32_t randomUInt32();

// Bytes straight from the operating system's random source (for nonces and cnonces).
void osRandomBytes(void* buffer, std::size_t length);

}  // namespace kel_util
