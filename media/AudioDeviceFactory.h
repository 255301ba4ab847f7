// Which sound devices the phone opens, from the AudioDevice setting of section "Sound":
//   "alsa"                  the sound card ALSA calls "default"
//   "alsa:<pcm>"            another ALSA PCM ("alsa:hw:1,0", "alsa:null")
//   "null"                  no sound: playback discarded, capture silent, both paced
//   "file:<in.wav>,<out.wav>"  capture records from in.wav over and over, playback records
//                           into out.wav (µ-law WAV files; each playback open starts it anew)
// The environment variable TESSALY_AUDIO, when set and not empty, overrides the setting; there
// the value "stuck" (devices that never give a buffer back) is also taken, for tests.
#pragma once

#include "media/AudioDevice.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>

struct AudioDeviceChoice {
    enum class Kind { Alsa, Null, File, Stuck };

    Kind kind = Kind::Alsa;
    std::string pcmName = "default";  // Alsa
    std::string inFile;               // File: what capture records from
    std::string outFile;              // File: where playback records to

    // nullopt when text is none of the forms above; "stuck" only when testDevices is set.
    static std::optional<AudioDeviceChoice> parse(std::string_view text, bool testDevices = false);
    // The setting's text for this choice.
    std::string toString() const;

    bool operator==(const AudioDeviceChoice&) const = default;
};

// Makes the sound devices of one choice. Any thread.
class AudioDeviceFactory {
public:
    static constexpr const char* environmentVariable = "TESSALY_AUDIO";

    explicit AudioDeviceFactory(AudioDeviceChoice choice) : choice_(std::move(choice)) {}

    // A closed device of the chosen back end.
    std::unique_ptr<AudioDevice> create(AudioDirection direction) const;
    const AudioDeviceChoice& choice() const noexcept { return choice_; }

private:
    AudioDeviceChoice choice_;
};

struct AudioDeviceSelection {
    static constexpr const char* noCardStatus = "No sound card opens; sound is off.";

    // The devices for the setting, overridden by the environment value (TESSALY_AUDIO's, or
    // null when unset). An ALSA choice whose PCM does not open for playback falls back to the
    // null device, logged once and told in status; a value that cannot be read is logged and
    // the default is used in its place. On the logic thread, at start-up and when the settings
    // change; the caller shows status in the status line.
    static AudioDeviceSelection choose(const std::string& setting, const char* environment);

    AudioDeviceFactory factory;
    // Empty, or the text for the status line when the devices are not what was asked for.
    std::string status;
};
