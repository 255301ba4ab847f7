// A sound card through ALSA, opened for 8 kHz mono µ-law; a card that refuses µ-law is driven
// with 16-bit linear samples converted here (G711.h). Underruns (playback) and
// overruns (capture) are recovered and logged; ALSA's own error texts go to the log instead
// of standard error.
//
// A playback buffer is done once ALSA has taken it, up to the device buffer (200 ms) ahead of
// the speaker; reset drops that too.
//
// The PCM is opened non-blocking and waited on with poll, together with an eventfd that reset
// and close use to interrupt a transfer at once. Every ALSA call on an open PCM happens on the
// device thread.
#pragma once

#include "media/ThreadedAudioDevice.h"

#include <poll.h>

#include <cstdint>
#include <string>
#include <vector>

typedef struct _snd_pcm snd_pcm_t;
typedef struct _snd_config snd_config_t;

class AlsaAudioDevice : public ThreadedAudioDevice {
public:
    // pcmName: an ALSA PCM name ("default", "hw:1,0", "null", ...). configFile: an ALSA
    // configuration file to find the PCM in instead of the system's (tests); empty: the system's.
    AlsaAudioDevice(AudioDirection direction, std::string pcmName, std::string configFile = {});
    ~AlsaAudioDevice() override { close(); }

    // Whether the PCM opens for playback (and is closed again); error gets ALSA's reason.
    static bool probe(const std::string& pcmName, std::string& error);
    // Sends ALSA's error output to the log from now on, for the whole process.
    static void routeErrorsToLog();

    // While open: the card takes 16-bit linear samples, not µ-law.
    bool convertsToLinear() const noexcept { return linear_; }

private:
    void openDevice() override;
    void closeDevice() noexcept override;
    std::size_t transfer(AudioBuffer& buffer) override;
    void wake() override;
    void discard() override;
    void drainWake();

    void configure();
    std::size_t capture(AudioBuffer& buffer);
    std::size_t play(const AudioBuffer& buffer);
    // Waits until the PCM is ready, reset or close interrupts, or a second has passed.
    void waitReady();
    // Recovers from an underrun, overrun or suspend; throws WaveException for other errors.
    void recover(long error, const char* operation);

    std::string pcmName_;
    std::string configFile_;
    snd_pcm_t* pcm_ = nullptr;
    snd_config_t* config_ = nullptr;
    int wakeFd_ = -1;
    bool linear_ = false;
    std::vector<std::int16_t> linearSamples_;
    std::vector<pollfd> pollFds_;  // the PCM's, then the eventfd
};
