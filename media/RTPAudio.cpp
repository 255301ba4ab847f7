#include "media/RTPAudio.h"

#include "kel_util/Log.h"
#include "kel_util/SocketException.h"
#include "media/MMIO.h"

using kel_util::logPrint;

namespace {

constexpr const char* kJoinSender = "RTPSenderExt::_stopSend. Joinning RTPSender.\n";
constexpr const char* kJoinReceiver = "RTPReceiverExt::_stopReceive. Joinning RTPReceiver.\n";

// Stops a running sender or receiver and waits for its thread; true when it was running.
template <class Stream>
bool joinThread(Stream& stream, const char* line) {
    const bool wasRunning = stream.isRunning();
    if (wasRunning) logPrint(kel_util::DET, "%s", line);
    stream.stopAndJoin();
    return wasRunning;
}

}  // namespace

RTPAudio::RTPAudio(const AudioDeviceFactory& devices)
    : sender_(socket_),
      receiver_(socket_, [this](const std::uint8_t* data, std::size_t length) { player_.setReceiveData(data, length); }),
      recorder_(devices, *this, [this](const std::uint8_t* data, std::size_t length) { onRecordedData(data, length); }),
      player_(devices, *this) {}

RTPAudio::~RTPAudio() {
    close();
}

bool RTPAudio::init(int recordBufferNum, int playBufferNum, int playUnitMs, int workerNum, int sendDTMFAmpPercent,
                    int playDTMFAmpPercent) {
    logPrint(kel_util::DET,
             "RTPAudio::init. Initializing RTPAudio, RecordWaveBufferNum=%d, PlayWaveBufferNum=%d, PlayUnitMSec=%d, "
             "WorkerNum=%d, SendDTMFAmpPercent=%d, PlayDTMFAmpPercent=%d.\n",
             recordBufferNum, playBufferNum, playUnitMs, workerNum, sendDTMFAmpPercent, playDTMFAmpPercent);
    if (!EventHandler::init(workerNum, false)) {
        logPrint(kel_util::MIN, "RTPAudio::init. Failed to init EventHandler.\n");
        return false;
    }
    {
        std::lock_guard<std::mutex> guard(sendExtMutex_);
        sendTones_.build(sendDTMFAmpPercent);
    }
    playTones_.build(playDTMFAmpPercent);
    recordBufferNum_ = recordBufferNum;
    playBufferNum_ = playBufferNum;
    playUnitMs_ = playUnitMs;
    return true;
}

bool RTPAudio::open(int port, const char* localAddress) {
    kel_util::SocketAddress address;
    if (!address.set(port, localAddress, AF_UNSPEC)) {
        logPrint(kel_util::MIN, "RTPAudio::open. Failed set SocketAddress.\n");
        return false;
    }
    try {
        socket_.open(address.getFamily());
    } catch (const kel_util::SocketException& e) {
        logPrint(kel_util::MIN, "RTPAudio::open. Failed open, SocketException: [%s].\n", e.toString().c_str());
        return false;
    }
    try {
        socket_.bind(address);
        localPort_ = socket_.getLocalAddress().getPort();
    } catch (const kel_util::SocketException& e) {
        logPrint(kel_util::MIN, "RTPAudio::open. Failed bind, address=[%s], SocketException: [%s].\n",
                 address.toString().c_str(), e.toString().c_str());
        socket_.close();
        return false;
    }
    return true;
}

void RTPAudio::close() {
    const bool wasActive = sender_.isRunning() || receiver_.isRunning();
    stopSend();
    stopPlay();
    stopRecording();
    stopReceive();
    logReportIfIdle(wasActive);
    {
        std::lock_guard<std::mutex> guard(sendExtMutex_);
        sendTones_.clear();
        waveFileName_.clear();
        sendingData_ = false;
    }
    playTones_.clear();
    sender_.setData(nullptr, 0, false);
    EventHandler::clean();
    if (socket_.isOpen()) {
        logPrint(kel_util::DET, "RTPAudio::stop. Closing Socket.\n");
        socket_.close();
    }
    localPort_ = 0;
}

bool RTPAudio::startSend(int payloadType, int packetMs, const char* destHost, int destPort) {
    if (sender_.isMatching(payloadType, packetMs, destHost, destPort)) {
        logPrint(kel_util::DET, "RTPAudio::startSend. Already sending.\n");
        return true;
    }
    joinThread(sender_, kJoinSender);
    if (!socket_.isOpen()) return false;
    return sender_.start(payloadType, packetMs, destHost, destPort);
}

void RTPAudio::stopSend() {
    logReportIfIdle(joinThread(sender_, kJoinSender));
}

bool RTPAudio::startReceive(int payloadType, int jitterMs) {
    if (receiver_.isMatching(payloadType, jitterMs)) return true;
    joinThread(receiver_, kJoinReceiver);
    if (!socket_.isOpen()) return false;
    return receiver_.start(payloadType, jitterMs);
}

void RTPAudio::stopReceive() {
    logReportIfIdle(joinThread(receiver_, kJoinReceiver));
}

bool RTPAudio::startRecording(int codec, int bufferMs) {
    return recorder_.startRecording(codec, bufferMs, recordBufferNum_);
}

void RTPAudio::stopRecording() {
    recorder_.stopRecording();
}

bool RTPAudio::startPlay(int codec) {
    return player_.startPlay(codec, playBufferNum_, playUnitMs_);
}

void RTPAudio::stopPlay() {
    player_.stopPlay();
}

bool RTPAudio::startWaveFile(const std::string& fileName, bool restart) {
    {
        std::lock_guard<std::mutex> guard(sendExtMutex_);
        if (!restart && sendingData_ && fileName == waveFileName_) return true;
    }
    // Read outside the lock: the recorder's events need it meanwhile.
    const auto data = MMIO::getWaveFileData(fileName, 0);
    if (!data) return false;
    std::lock_guard<std::mutex> guard(sendExtMutex_);
    sendDataLocked(data->data(), data->size());
    waveFileName_ = fileName;
    return true;
}

bool RTPAudio::sendDTMF(char key) {
    std::lock_guard<std::mutex> guard(sendExtMutex_);
    const std::uint8_t* tone = sendTones_.getTone(DTMFToneTable::indexOf(key));
    if (tone == nullptr) return false;
    waveFileName_.clear();
    sendDataLocked(tone, static_cast<std::size_t>(sendTones_.getToneLength()));
    return true;
}

void RTPAudio::sendDataLocked(const std::uint8_t* data, std::size_t length) {
    sendingData_ = true;
    sender_.setData(data, length, true);
}

bool RTPAudio::playDTMF(char key) {
    const std::uint8_t* tone = playTones_.getTone(DTMFToneTable::indexOf(key));
    return tone != nullptr && player_.playData(tone, static_cast<std::size_t>(playTones_.getToneLength()));
}

void RTPAudio::stopDataPlay() {
    player_.stopDataPlay();
}

void RTPAudio::stopDataSend() {
    std::lock_guard<std::mutex> guard(sendExtMutex_);
    sendingData_ = false;
    waveFileName_.clear();
    sender_.setData(nullptr, 0, false);
}

void RTPAudio::onRecordedData(const std::uint8_t* data, std::size_t length) {
    std::lock_guard<std::mutex> guard(sendExtMutex_);
    if (!sendingData_ && sender_.isRunning()) sender_.setData(data, length, false);
}

MediaReport RTPAudio::getMediaReport() const {
    MediaReport report;
    report.sent = sender_.getReport();
    report.received = receiver_.getReport();
    return report;
}

void RTPAudio::logReportIfIdle(bool wasActive) {
    if (!wasActive || sender_.isRunning() || receiver_.isRunning()) return;
    logPrint(kel_util::NOT, "RTPAudio::stop. Media report: %s.\n", getMediaReport().toString().c_str());
}

bool RTPAudio::postDeviceEvent(int type, int bufferIndex, std::uint32_t generation) {
    return postEvent(type, bufferIndex, static_cast<intptr_t>(generation), this);
}

void RTPAudio::onEvent(int workerId, int type, intptr_t param1, intptr_t param2, const void* from) {
    const int index = static_cast<int>(param1);
    const auto generation = static_cast<std::uint32_t>(param2);
    switch (type) {
        case WAVEINDATA:
            recorder_.onEventWaveInData(index, generation);
            break;
        case WAVEOUTDONE:
            player_.onEventWaveOutDone(index, generation);
            break;
        default:
            logPrint(kel_util::MIN,
                     "RTPAudio::onEvent. Unkown event. [Worker ID = %d, MessageType=%d, Param1=%d, Param2=%d, "
                     "FromInstance=%p]\n",
                     workerId, type, index, static_cast<int>(param2), from);
    }
}

void RTPAudio::onEventClean(int workerId, int type, intptr_t param1, intptr_t param2, const void* from) {
    switch (type) {
        case WAVEINDATA:
            logPrint(kel_util::DBG, "RTPAudio::onEventClean. Clean event WAVEINDATA.\n");
            break;
        case WAVEOUTDONE:
            logPrint(kel_util::DBG, "RTPAudio::onEventClean. Clean event WAVEOUTDONE.\n");
            break;
        default:
            logPrint(kel_util::MIN,
                     "RTPAudio::onEventClean. Unkown clean event. [Worker ID = %d, MessageType=%d, Param1=%d, "
                     "Param2=%d, FromInstance=%p]\n",
                     workerId, type, static_cast<int>(param1), static_cast<int>(param2), from);
    }
}
