#include "media/AlsaAudioDevice.h"

#include "kel_util/Log.h"
#include "media/G711.h"

#include <alsa/asoundlib.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <mutex>

namespace {

constexpr unsigned int sampleRate = 8000;
constexpr snd_pcm_uframes_t periodFrames = 160;   // 20 ms, the packet time
constexpr snd_pcm_uframes_t bufferFrames = 1600;  // 200 ms
constexpr int readyWaitMs = 1000;

__attribute__((format(printf, 5, 6))) void logAlsaError(const char* file, int line, const char* function, int error,
                                                        const char* format, ...) {
    char text[512];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    kel_util::logPrint(kel_util::MIN, "AlsaAudioDevice::onAlsaError. %s:%d (%s) %s%s%s\n", file, line, function, text,
                       error != 0 ? ": " : "", error != 0 ? snd_strerror(error) : "");
}

WaveException alsaError(const std::string& operation, long error) {
    return WaveException(operation + ": " + snd_strerror(static_cast<int>(error)), static_cast<int>(error));
}

void check(int result, const char* operation) {
    if (result < 0) throw alsaError(operation, result);
}

snd_config_t* loadConfig(const std::string& path) {
    snd_config_t* top = nullptr;
    check(snd_config_top(&top), "snd_config_top");
    snd_input_t* input = nullptr;
    int result = snd_input_stdio_open(&input, path.c_str(), "r");
    if (result >= 0) {
        result = snd_config_load(top, input);
        snd_input_close(input);
    }
    if (result < 0) {
        snd_config_delete(top);
        throw alsaError("ALSA configuration " + path, result);
    }
    return top;
}

int openPcm(snd_pcm_t** pcm, const std::string& name, AudioDirection direction, snd_config_t* config) {
    const snd_pcm_stream_t stream =
        direction == AudioDirection::Capture ? SND_PCM_STREAM_CAPTURE : SND_PCM_STREAM_PLAYBACK;
    // Non-blocking, so that a card another program holds fails at once instead of hanging.
    return config != nullptr ? snd_pcm_open_lconf(pcm, name.c_str(), stream, SND_PCM_NONBLOCK, config)
                             : snd_pcm_open(pcm, name.c_str(), stream, SND_PCM_NONBLOCK);
}

}  // namespace

AlsaAudioDevice::AlsaAudioDevice(AudioDirection direction, std::string pcmName, std::string configFile)
    : ThreadedAudioDevice(direction, "alsa:" + pcmName), pcmName_(std::move(pcmName)),
      configFile_(std::move(configFile)) {}

void AlsaAudioDevice::routeErrorsToLog() {
    static std::once_flag once;
    std::call_once(once, [] { snd_lib_error_set_handler(&logAlsaError); });
}

bool AlsaAudioDevice::probe(const std::string& pcmName, std::string& error) {
    routeErrorsToLog();
    snd_pcm_t* pcm = nullptr;
    const int result = openPcm(&pcm, pcmName, AudioDirection::Playback, nullptr);
    if (result < 0) {
        error = snd_strerror(result);
        return false;
    }
    snd_pcm_close(pcm);
    return true;
}

void AlsaAudioDevice::openDevice() {
    routeErrorsToLog();
    if (!configFile_.empty()) config_ = loadConfig(configFile_);
    const int result = openPcm(&pcm_, pcmName_, direction(), config_);
    try {
        if (result < 0) throw alsaError("open " + pcmName_, result);
        configure();
        wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        if (wakeFd_ < 0) throw WaveException("eventfd: " + kel_util::errorText(errno), errno);
        const int count = snd_pcm_poll_descriptors_count(pcm_);
        check(count, "snd_pcm_poll_descriptors_count");
        pollFds_.assign(static_cast<std::size_t>(count) + 1, pollfd{});
        check(snd_pcm_poll_descriptors(pcm_, pollFds_.data(), static_cast<unsigned int>(count)),
              "snd_pcm_poll_descriptors");
        pollFds_.back() = pollfd{wakeFd_, POLLIN, 0};
    } catch (...) {
        closeDevice();
        throw;
    }
}

void AlsaAudioDevice::configure() {
    snd_pcm_hw_params_t* hw = nullptr;
    snd_pcm_hw_params_alloca(&hw);
    check(snd_pcm_hw_params_any(pcm_, hw), "snd_pcm_hw_params_any");
    check(snd_pcm_hw_params_set_access(pcm_, hw, SND_PCM_ACCESS_RW_INTERLEAVED), "set access");
    linear_ = snd_pcm_hw_params_set_format(pcm_, hw, SND_PCM_FORMAT_MU_LAW) < 0;
    if (linear_) check(snd_pcm_hw_params_set_format(pcm_, hw, SND_PCM_FORMAT_S16), "set format (neither u-law nor S16)");
    check(snd_pcm_hw_params_set_channels(pcm_, hw, 1), "set mono");
    check(snd_pcm_hw_params_set_rate(pcm_, hw, sampleRate, 0), "set 8000 Hz");
    snd_pcm_uframes_t period = periodFrames;
    snd_pcm_uframes_t buffer = bufferFrames;
    check(snd_pcm_hw_params_set_period_size_near(pcm_, hw, &period, nullptr), "set period size");
    check(snd_pcm_hw_params_set_buffer_size_near(pcm_, hw, &buffer), "set buffer size");
    check(snd_pcm_hw_params(pcm_, hw), "snd_pcm_hw_params");

    snd_pcm_sw_params_t* sw = nullptr;
    snd_pcm_sw_params_alloca(&sw);
    check(snd_pcm_sw_params_current(pcm_, sw), "snd_pcm_sw_params_current");
    check(snd_pcm_sw_params_set_avail_min(pcm_, sw, period), "set avail min");
    // Playback starts with the first period instead of waiting for a full device buffer.
    if (direction() == AudioDirection::Playback) {
        check(snd_pcm_sw_params_set_start_threshold(pcm_, sw, period), "set start threshold");
    }
    check(snd_pcm_sw_params(pcm_, sw), "snd_pcm_sw_params");
    kel_util::logPrint(kel_util::INF, "AlsaAudioDevice::configure. %s: %s, period %lu, buffer %lu frames.\n",
                       name().c_str(), linear_ ? "S16 converted here" : "u-law", period, buffer);
}

void AlsaAudioDevice::closeDevice() noexcept {
    if (pcm_ != nullptr) snd_pcm_close(pcm_);
    pcm_ = nullptr;
    if (config_ != nullptr) snd_config_delete(config_);
    config_ = nullptr;
    if (wakeFd_ >= 0) ::close(wakeFd_);
    wakeFd_ = -1;
    pollFds_.clear();
}

std::size_t AlsaAudioDevice::transfer(AudioBuffer& buffer) {
    return direction() == AudioDirection::Capture ? capture(buffer) : play(buffer);
}

std::size_t AlsaAudioDevice::capture(AudioBuffer& buffer) {
    const std::size_t want = buffer.capacity();
    if (linear_) linearSamples_.resize(want);
    std::size_t done = 0;
    while (done < want && !abortRequested()) {
        if (snd_pcm_state(pcm_) == SND_PCM_STATE_PREPARED) {
            if (const int result = snd_pcm_start(pcm_); result < 0) recover(result, "snd_pcm_start");
        }
        void* at = linear_ ? static_cast<void*>(linearSamples_.data() + done) : buffer.data() + done;
        const snd_pcm_sframes_t n = snd_pcm_readi(pcm_, at, want - done);
        if (n > 0) {
            if (linear_) {
                for (snd_pcm_sframes_t i = 0; i < n; ++i) buffer.data()[done + static_cast<std::size_t>(i)] = linearToUlaw(linearSamples_[done + static_cast<std::size_t>(i)]);
            }
            done += static_cast<std::size_t>(n);
        } else if (n == 0 || n == -EAGAIN) {
            waitReady();
        } else {
            recover(n, "snd_pcm_readi");
        }
    }
    return done;
}

std::size_t AlsaAudioDevice::play(const AudioBuffer& buffer) {
    const std::size_t length = buffer.length();
    if (linear_) {
        linearSamples_.resize(length);
        for (std::size_t i = 0; i < length; ++i) linearSamples_[i] = ulawToLinear(buffer.data()[i]);
    }
    std::size_t done = 0;
    while (done < length && !abortRequested()) {
        const void* at = linear_ ? static_cast<const void*>(linearSamples_.data() + done) : buffer.data() + done;
        const snd_pcm_sframes_t n = snd_pcm_writei(pcm_, at, length - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n == 0 || n == -EAGAIN) {
            waitReady();
        } else {
            recover(n, "snd_pcm_writei");
        }
    }
    return done;
}

void AlsaAudioDevice::waitReady() {
    const nfds_t pcmFds = pollFds_.size() - 1;
    for (;;) {
        for (pollfd& fd : pollFds_) fd.revents = 0;
        const int ready = ::poll(pollFds_.data(), pollFds_.size(), readyWaitMs);
        if (ready < 0 && errno != EINTR) throw WaveException("poll: " + kel_util::errorText(errno), errno);
        if (ready <= 0) return;
        if ((pollFds_.back().revents & POLLIN) != 0) {
            if (!abortRequested()) drainWake();  // left from a reset already handled
            return;
        }
        unsigned short events = 0;
        check(snd_pcm_poll_descriptors_revents(pcm_, pollFds_.data(), static_cast<unsigned int>(pcmFds), &events),
              "snd_pcm_poll_descriptors_revents");
        if (events != 0) return;
    }
}

void AlsaAudioDevice::recover(long error, const char* operation) {
    if (error == -EPIPE) {
        kel_util::logPrint(kel_util::DET, "AlsaAudioDevice::recover. %s on %s.\n",
                           direction() == AudioDirection::Capture ? "Overrun" : "Underrun", name().c_str());
    } else if (error == -ESTRPIPE) {
        kel_util::logPrint(kel_util::NOT, "AlsaAudioDevice::recover. %s was suspended.\n", name().c_str());
    }
    // Prepares the PCM again after -EPIPE and -ESTRPIPE; any other error is handed back.
    if (snd_pcm_recover(pcm_, static_cast<int>(error), 1) < 0) throw alsaError(operation, error);
}

void AlsaAudioDevice::wake() {
    const std::uint64_t one = 1;
    if (wakeFd_ >= 0) (void)!::write(wakeFd_, &one, sizeof one);
}

void AlsaAudioDevice::drainWake() {
    std::uint64_t count = 0;
    while (::read(wakeFd_, &count, sizeof count) > 0) {
    }
}

void AlsaAudioDevice::discard() {
    drainWake();
    snd_pcm_drop(pcm_);
    snd_pcm_prepare(pcm_);
}
