#include "media/RTPSender.h"

#include <pthread.h>
#include <sched.h>

#include <algorithm>
#include <cstring>

#include "kel_util/Log.h"
#include "kel_util/SocketException.h"
#include "media/ThreadStart.h"

using kel_util::logPrint;

bool RTPSender::start(int payloadType, int packetMs, const char* destHost, int destPort) {
    std::lock_guard<std::mutex> guard(controlMutex_);
    if (isRunning()) {
        logPrint(kel_util::MIN, "RTPSender::start. RTPSender alredy started.\n");
        return false;
    }
    // A thread that ended on its own (a socket failure) is joined before its state is reused.
    join();
    if (!session_.init(payloadType, destHost, destPort, packetMs, 0, 0, 0)) {
        logPrint(kel_util::MIN,
                 "RTPSender::start. Failed to init RTPSendSession, PayloadType=%d, PacketUnitMSec=%d, Dest=[%s:%d].\n",
                 payloadType, packetMs, destHost != nullptr ? destHost : "", destPort);
        return false;
    }
    interval_ = std::chrono::milliseconds(packetMs);
    {
        kel_util::ScopedLock<kel_util::Cond> data(cond_);
        silence_ = session_.getPayloadType().getSilence();
    }
    ssrc_ = session_.getPacket().ssrc;
    packets_ = 0;
    bytes_ = 0;
    missed_ = 0;
    hasStream_ = true;
    return startThread(*this, "RTPSender::start");
}

void RTPSender::stop() {
    kel_util::Thread::stop();
    cond_.notify();
}

void RTPSender::stopAndJoin() {
    std::lock_guard<std::mutex> guard(controlMutex_);
    stop();
    join();
}

bool RTPSender::isMatching(int payloadType, int packetMs, const char* destHost, int destPort) {
    std::lock_guard<std::mutex> guard(controlMutex_);
    return isRunning() && session_.getPayloadType().getPayloadType() == payloadType &&
           session_.getPacketMs() == packetMs && session_.isMatchingDestSockAddr(destHost, destPort);
}

void RTPSender::setData(const std::uint8_t* data, std::size_t length, bool loop) {
    kel_util::ScopedLock<kel_util::Cond> guard(cond_);
    if (data == nullptr || length == 0) {
        dataLength_ = readOffset_ = 0;
        loop_ = false;
        return;
    }
    // Recorded audio not yet sent stays in front of newly recorded audio, but never more of it
    // than the new length: a sender that falls behind drops the oldest sound, not the newest.
    std::size_t keep = 0;
    if (!loop_ && !loop && readOffset_ < dataLength_) {
        keep = dataLength_ - readOffset_;
        if (keep > length) {
            logPrint(kel_util::DBG, "RTPSender::setData. No Free wave buffer, deleted %d bytes.\n",
                     static_cast<int>(keep - length));
            keep = length;
        }
    }
    if (keep + length > data_.size()) {
        logPrint(kel_util::DBG,
                 data_.empty() ? "RTPSender::setData. Buffer allocated: %d bytes.\n"
                               : "RTPSender::setData. Buffer extended: %d bytes.\n",
                 static_cast<int>(keep + length));
        data_.resize(keep + length);
    }
    std::memmove(data_.data(), data_.data() + dataLength_ - keep, keep);
    std::memcpy(data_.data() + keep, data, length);
    dataLength_ = keep + length;
    readOffset_ = 0;
    loop_ = loop;
}

RTPSendReport RTPSender::getReport() const {
    RTPSendReport report;
    report.hasStream = hasStream_;
    report.ssrc = ssrc_;
    report.packets = packets_;
    report.bytes = bytes_;
    report.missedIntervals = missed_;
    return report;
}

void RTPSender::run() {
    raisePriority();
    std::vector<std::uint8_t> work(static_cast<std::size_t>(session_.getBytesPerPacket()));
    auto deadline = std::chrono::steady_clock::now();
    cond_.lock();
    while (waitForDeadline(deadline)) {
        fillLocked(work);
        cond_.unlock();
        const bool goOn = sendPacket(work);
        cond_.lock();
        if (!goOn) break;
    }
    cond_.unlock();
}

void RTPSender::raisePriority() {
    // The sender wakes every packet interval for a few microseconds; under real-time scheduling,
    // where the system grants it, those wake-ups stay on time while other threads keep the
    // cores busy. Without the privilege the thread sends at normal priority.
    sched_param param{};
    param.sched_priority = sched_get_priority_min(SCHED_FIFO);
    const int result = pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
    if (result != 0) logPrint(kel_util::DBG, "RTPSender::run. Normal priority, errno=%d.\n", result);
}

bool RTPSender::waitForDeadline(std::chrono::steady_clock::time_point& deadline) {
    while (isRunning()) {
        const auto now = std::chrono::steady_clock::now();
        if (now < deadline) {
            if (cond_.waitUntil(deadline)) logPrint(kel_util::DEV, "RTPSender::run. Signaled.\n");
            continue;
        }
        const auto missed = (now - deadline) / interval_;
        if (missed > 0) {
            session_.skipSamples(static_cast<std::uint32_t>(missed * session_.getSamplesPerPacket()));
            missed_ += static_cast<std::uint64_t>(missed);
            logPrint(kel_util::DBG, "RTPSender::run. Detected sending packet loss = %d.\n", static_cast<int>(missed));
        }
        deadline += (missed + 1) * interval_;
        return true;
    }
    return false;
}

void RTPSender::fillLocked(std::vector<std::uint8_t>& work) {
    std::size_t filled = 0;
    if (readOffset_ < dataLength_) {
        filled = std::min(work.size(), dataLength_ - readOffset_);
        std::memcpy(work.data(), data_.data() + readOffset_, filled);
        readOffset_ += filled;
        if (readOffset_ == dataLength_ && loop_) readOffset_ = 0;
    } else {
        logPrint(kel_util::DEV, "RTPSender::run. No recorded data, sending dummy.\n");
    }
    std::fill(work.begin() + static_cast<std::ptrdiff_t>(filled), work.end(), silence_);
}

bool RTPSender::sendPacket(const std::vector<std::uint8_t>& work) {
    try {
        const int result = session_.send(socket_, work.data(), static_cast<int>(work.size()), interval_);
        if (result < 1) {
            logPrint(kel_util::MIN, "RTPSender::run. Failed to send rtp packet, Result=%d.\n", result);
            return true;
        }
        ++packets_;
        bytes_ += static_cast<std::uint64_t>(result);
        return true;
    } catch (const kel_util::SocketException& e) {
        logPrint(kel_util::MIN, "RTPSender::run. Failed sendPacket, SocketException: [%s].\n", e.toString().c_str());
        return false;
    }
}
