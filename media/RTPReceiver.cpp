#include "media/RTPReceiver.h"

#include <cerrno>

#include "kel_util/Log.h"
#include "kel_util/SocketException.h"
#include "media/ThreadStart.h"
#include "media/RTPPacketParseException.h"

using kel_util::logPrint;

namespace {

// An ICMP refusal of an earlier send (the peer's port is closed): the peer's business, not a
// reason to stop listening.
bool isPeerRefusal(const kel_util::SocketException& e) {
    return e.getCode() == kel_util::SocketException::CONNECTION_RESET || e.getErrorNumber() == ECONNREFUSED;
}

}  // namespace

bool RTPReceiver::start(int payloadType, int jitterMs) {
    std::lock_guard<std::mutex> guard(controlMutex_);
    if (isRunning()) {
        logPrint(kel_util::MIN, "RTPReceiver::start. RTPReceiver already started.\n");
        return false;
    }
    // A thread that ended on its own (a socket failure) is joined before its state is reused.
    join();
    if (!payloadType_.set(payloadType) || jitterMs < 1) {
        logPrint(kel_util::MIN, "RTPReceiver::start. Failed to set PayloadType=%d.\n", payloadType);
        return false;
    }
    payloadTypeNumber_ = payloadType;
    jitterMs_ = jitterMs;
    source_.reset(payloadType);
    block_.configure(payloadType_, jitterMs, sink_);
    {
        std::lock_guard<std::mutex> report(reportMutex_);
        statistics_ = RTPReceiveStatistics();
        payloadTypes_.reset();
    }
    return startThread(*this, "RTPReceiver::start");
}

void RTPReceiver::stopAndJoin() {
    std::lock_guard<std::mutex> guard(controlMutex_);
    stop();
    join();
}

bool RTPReceiver::isMatching(int payloadType, int jitterMs) {
    std::lock_guard<std::mutex> guard(controlMutex_);
    return isRunning() && payloadTypeNumber_ == payloadType && jitterMs_ == jitterMs;
}

RTPReceiveReport RTPReceiver::getReport() const {
    std::lock_guard<std::mutex> guard(reportMutex_);
    RTPReceiveReport report;
    statistics_.fill(report);
    report.payloadTypes = payloadTypes_;
    return report;
}

void RTPReceiver::run() {
    drain();
    while (isRunning()) {
        int length = 0;
        switch (receive(length)) {
            case Outcome::Packet:
                handle(length);
                break;
            case Outcome::Timeout:
                logPrint(kel_util::DBG, "RTPReceiver::run. Receive timeout.\n");
                block_.flush();
                break;
            case Outcome::End:
                return;
        }
    }
}

void RTPReceiver::drain() {
    kel_util::SocketAddress from;
    for (;;) {
        try {
            if (socket_.receiveFrom(reinterpret_cast<char*>(packet_.getBuffer()), RTPPacket::kBufferSize, from,
                                    kel_util::Socket::Timeout(-1)) <= 0) {
                return;
            }
        } catch (const kel_util::SocketException& e) {
            // A datagram too long or a refusal: read on; anything else the loop will meet again.
            if (e.getCode() != kel_util::SocketException::DATAGRAM_TRUNCATED && !isPeerRefusal(e)) return;
        }
    }
}

RTPReceiver::Outcome RTPReceiver::receive(int& length) {
    kel_util::SocketAddress from;
    auto waited = std::chrono::milliseconds(0);
    while (isRunning()) {
        try {
            length = socket_.receiveFrom(reinterpret_cast<char*>(packet_.getBuffer()), RTPPacket::kBufferSize, from,
                                         kPollSlice);
            if (length > 0) return Outcome::Packet;
            if (length < 0) {
                logPrint(kel_util::MIN, "RTPReceiver::run. ReceivePacket failed. [%d]\n", length);
                continue;
            }
            waited += kPollSlice;
            if (waited >= kReceiveTimeout) return Outcome::Timeout;
        } catch (const kel_util::SocketException& e) {
            if (e.getCode() == kel_util::SocketException::DATAGRAM_TRUNCATED) {
                // Never played cut short: the buffer holds the most a packet may be.
                logPrint(kel_util::DBG, "RTPReceiver::run. Datagram too long, dropped: [%s].\n",
                         e.toString().c_str());
            } else if (isPeerRefusal(e)) {
                logPrint(kel_util::DEV, "RTPReceiver::run. Connection reset.\n");
            } else {
                logPrint(kel_util::MIN, "RTPReceiver::run. SocketException: [%s].\n", e.toString().c_str());
                return Outcome::End;
            }
        }
    }
    return Outcome::End;
}

void RTPReceiver::handle(int length) {
    notePayloadType(length);
    try {
        packet_.parse(length);
    } catch (const RTPPacketParseException& e) {
        logPrint(kel_util::DBG, "RTPReceiver::run. RTPPacketParseException: [%s].\n", e.toString().c_str());
        return;
    }
    const int result = source_.checkSource(packet_.payloadType, packet_.ssrc, packet_.sequenceNumber);
    if (result < 0) {
        logPrint(kel_util::DBG, "RTPReceiver::run. checkSource failed. [%d]\n", result);
        return;
    }
    if (packet_.payloadType != payloadTypeNumber_) return;
    place(result);
}

void RTPReceiver::notePayloadType(int length) {
    const std::uint8_t* bytes = packet_.getBuffer();
    if (length < RTPPacketHeader::kFixedLength || (bytes[0] >> 6) != 2) return;
    std::lock_guard<std::mutex> guard(reportMutex_);
    payloadTypes_.set(bytes[1] & 0x7F);
}

void RTPReceiver::place(int sourceResult) {
    const auto now = std::chrono::steady_clock::now();
    const auto wall = std::chrono::system_clock::now();
    if (sourceResult == RTPSourceState::kNewSource) {
        logPrint(kel_util::INF, "RTPReceiver::run. Deteced new source, payloadtype=%d..\n", packet_.payloadType);
        block_.restart(packet_.timestamp);
        std::lock_guard<std::mutex> guard(reportMutex_);
        statistics_.start(packet_.ssrc, payloadType_.getClockRate());
    }
    {
        std::lock_guard<std::mutex> guard(reportMutex_);
        statistics_.onPacket(packet_.sequenceNumber, packet_.timestamp, packet_.getPayloadLength(), now, wall);
    }
    block_.add(packet_.timestamp, packet_.getPayload(), packet_.getPayloadLength());
}
