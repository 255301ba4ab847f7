#include "kel_util/Exception.h"

#include <cerrno>
#include <cstring>

namespace kel_util {

Throwable::Throwable(std::string message) : message_(std::move(message)) {}

Throwable::Throwable(std::string message, const Throwable& cause)
    : message_(std::move(message)), cause_(cause.clone()) {}

Throwable::Throwable(const Throwable& other)
    : std::exception(other), message_(other.message_), cause_(other.cause_ ? other.cause_->clone() : nullptr) {}

Throwable& Throwable::operator=(const Throwable& other) {
    if (this != &other) {
        message_ = other.message_;
        cause_ = other.cause_ ? other.cause_->clone() : nullptr;
    }
    return *this;
}

std::string Throwable::toString() const {
    std::string text = "(" + std::to_string(getCode()) + ") " + message_;
    for (const Throwable* cause = cause_.get(); cause != nullptr; cause = cause->getCause()) {
        text += ", ";
        text += cause->getMessage();
    }
    return text;
}

std::string describe(const std::exception& error) {
    const auto* throwable = dynamic_cast<const Throwable*>(&error);
    return throwable != nullptr ? throwable->toString() : std::string(error.what());
}

std::string errorText(int code) {
    char buffer[256];
    // GNU strerror_r may return a static string instead of filling the buffer.
    const char* text = strerror_r(code, buffer, sizeof buffer);
    return text != nullptr ? std::string(text) : std::string("error ") + std::to_string(code);
}

SystemException::SystemException() : BaseException(errorText(errno), errno) {}

SystemException::SystemException(const std::string& text)
    : SystemException(errno, text) {}

SystemException::SystemException(int code, const std::string& text)
    : BaseException(code != 0 ? text + ": " + errorText(code) : text, code) {}

}  // namespace kel_util
