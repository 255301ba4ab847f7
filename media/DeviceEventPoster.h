// Where the recorder and the player send their device events: the engine's event handler.
// A device callback only posts; the work is done on the handler's workers.
#pragma once

#include <cstdint>

class DeviceEventPoster {
public:
    // Event types.
    static constexpr int WAVEINDATA = 0;   // a record buffer is filled
    static constexpr int WAVEOUTDONE = 1;  // a play buffer has been played

    virtual ~DeviceEventPoster() = default;
    // false when the event could not be queued.
    virtual bool postDeviceEvent(int type, int bufferIndex, std::uint32_t generation) = 0;
};
