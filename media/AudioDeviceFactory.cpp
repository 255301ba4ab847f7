#include "media/AudioDeviceFactory.h"

#include "kel_util/Log.h"
#include "media/AlsaAudioDevice.h"
#include "media/NullAudioDevice.h"
#include "media/StuckAudioDevice.h"
#include "media/WavFileAudioDevice.h"

#include <strings.h>

namespace {

bool startsWith(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && ::strncasecmp(text.data(), prefix.data(), prefix.size()) == 0;
}

bool is(std::string_view text, std::string_view word) {
    return text.size() == word.size() && startsWith(text, word);
}

}  // namespace

std::optional<AudioDeviceChoice> AudioDeviceChoice::parse(std::string_view text, bool testDevices) {
    AudioDeviceChoice choice;
    if (is(text, "alsa")) return choice;
    if (startsWith(text, "alsa:")) {
        choice.pcmName = text.substr(5);
        if (choice.pcmName.empty()) return std::nullopt;
        return choice;
    }
    if (is(text, "null")) {
        choice.kind = Kind::Null;
        return choice;
    }
    if (testDevices && is(text, "stuck")) {
        choice.kind = Kind::Stuck;
        return choice;
    }
    if (startsWith(text, "file:")) {
        const std::string_view files = text.substr(5);
        const std::size_t comma = files.find(',');
        if (comma == std::string_view::npos || comma == 0 || comma + 1 == files.size()) return std::nullopt;
        choice.kind = Kind::File;
        choice.inFile = files.substr(0, comma);
        choice.outFile = files.substr(comma + 1);
        return choice;
    }
    return std::nullopt;
}

std::string AudioDeviceChoice::toString() const {
    switch (kind) {
    case Kind::Alsa:
        return pcmName == "default" ? "alsa" : "alsa:" + pcmName;
    case Kind::Null:
        return "null";
    case Kind::File:
        return "file:" + inFile + "," + outFile;
    case Kind::Stuck:
        return "stuck";
    }
    return {};
}

std::unique_ptr<AudioDevice> AudioDeviceFactory::create(AudioDirection direction) const {
    switch (choice_.kind) {
    case AudioDeviceChoice::Kind::Alsa:
        return std::make_unique<AlsaAudioDevice>(direction, choice_.pcmName);
    case AudioDeviceChoice::Kind::File:
        return std::make_unique<WavFileAudioDevice>(
            direction, direction == AudioDirection::Capture ? choice_.inFile : choice_.outFile);
    case AudioDeviceChoice::Kind::Stuck:
        return std::make_unique<StuckAudioDevice>(direction);
    case AudioDeviceChoice::Kind::Null:
        break;
    }
    return std::make_unique<NullAudioDevice>(direction);
}

AudioDeviceSelection AudioDeviceSelection::choose(const std::string& setting, const char* environment) {
    std::optional<AudioDeviceChoice> choice;
    if (environment != nullptr && environment[0] != '\0') {
        choice = AudioDeviceChoice::parse(environment, true);
        if (!choice) {
            kel_util::logPrint(kel_util::MIN, "AudioDeviceSelection::choose. Ignored %s=[%s], not an audio device.\n",
                               AudioDeviceFactory::environmentVariable, environment);
        }
    }
    if (!choice) choice = AudioDeviceChoice::parse(setting);
    if (!choice) {
        kel_util::logPrint(kel_util::MIN, "AudioDeviceSelection::choose. Invalid AudioDevice=[%s], using alsa.\n",
                           setting.c_str());
        choice = AudioDeviceChoice{};
    }
    std::string error;
    if (choice->kind == AudioDeviceChoice::Kind::Alsa && !AlsaAudioDevice::probe(choice->pcmName, error)) {
        kel_util::logPrint(kel_util::MIN,
                           "AudioDeviceSelection::choose. ALSA PCM [%s] does not open (%s); using the null audio "
                           "device.\n",
                           choice->pcmName.c_str(), error.c_str());
        AudioDeviceChoice silent;
        silent.kind = AudioDeviceChoice::Kind::Null;
        return AudioDeviceSelection{AudioDeviceFactory(std::move(silent)), noCardStatus};
    }
    kel_util::logPrint(kel_util::NOT, "AudioDeviceSelection::choose. Audio device %s.\n", choice->toString().c_str());
    return AudioDeviceSelection{AudioDeviceFactory(std::move(*choice)), {}};
}
