// The error of a sound device or a WAV file: the operation that failed and the back end's text
// for the cause (an ALSA error text, the C library's text for errno, or a description of what
// was wrong with the file). The code is the back end's error number, 0 when there is none.
#pragma once

#include "kel_util/Exception.h"

#include <string>

class WaveException : public kel_util::BaseException {
public:
    explicit WaveException(std::string message, int code = 0) : BaseException(std::move(message), code) {}

    std::unique_ptr<kel_util::Throwable> clone() const override { return std::make_unique<WaveException>(*this); }
};
