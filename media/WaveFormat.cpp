#include "media/WaveFormat.h"

bool WaveFormat::set(int codec) {
    if (codec != 0) return false;
    formatTag = kFormatMulaw;
    channels = 1;
    samplesPerSec = 8000;
    avgBytesPerSec = 8000;
    blockAlign = 1;
    bitsPerSample = 8;
    cbSize = 0;
    return true;
}

int WaveFormat::bytesForMs(int ms) const noexcept {
    if (blockAlign == 0) return 0;
    const long long bytes = static_cast<long long>(channels) * bitsPerSample * samplesPerSec * ms / 8000;
    return static_cast<int>(blockAlign * (bytes / blockAlign));
}
