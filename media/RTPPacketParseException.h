// A received datagram that is not an RTP packet this system plays; the text says why.
#pragma once

#include "kel_util/Exception.h"

class RTPPacketParseException : public kel_util::BaseException {
public:
    explicit RTPPacketParseException(std::string message) : BaseException(std::move(message), 0) {}

    std::unique_ptr<kel_util::Throwable> clone() const override {
        return std::make_unique<RTPPacketParseException>(*this);
    }
};
