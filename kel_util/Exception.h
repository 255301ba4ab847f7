// Error types of the runtime kernel and the syntax layer. Thrown by value, caught by
// reference; each may carry a copy of the exception that caused it, so causes form a chain.
#pragma once

#include <exception>
#include <memory>
#include <string>

namespace kel_util {

class Throwable : public std::exception {
public:
    explicit Throwable(std::string message = {});
    Throwable(std::string message, const Throwable& cause);
    Throwable(const Throwable& other);
    Throwable& operator=(const Throwable& other);
    Throwable(Throwable&&) noexcept = default;
    Throwable& operator=(Throwable&&) noexcept = default;
    ~Throwable() override = default;

    const char* what() const noexcept override { return message_.c_str(); }
    const std::string& getMessage() const noexcept { return message_; }
    const Throwable* getCause() const noexcept { return cause_.get(); }
    virtual int getCode() const noexcept { return 0; }

    // The form used in log lines: "(code) message", then each cause's message, joined by ", ".
    std::string toString() const;

    // A copy that keeps the dynamic type; used to hold causes.
    virtual std::unique_ptr<Throwable> clone() const { return std::make_unique<Throwable>(*this); }

protected:
    void setMessage(std::string message) { message_ = std::move(message); }

private:
    std::string message_;
    std::unique_ptr<Throwable> cause_;
};

class BaseException : public Throwable {
public:
    explicit BaseException(std::string message = {}, int code = 0) : Throwable(std::move(message)), code_(code) {}
    BaseException(std::string message, int code, const Throwable& cause)
        : Throwable(std::move(message), cause), code_(code) {}

    int getCode() const noexcept override { return code_; }
    std::unique_ptr<Throwable> clone() const override { return std::make_unique<BaseException>(*this); }

private:
    int code_;
};

// An error of the C library or the operating system, described by an errno value.
class SystemException : public BaseException {
public:
    // code = errno, message = the library's text for it.
    SystemException();
    // code = errno, message = text + ": " + the library's text.
    explicit SystemException(const std::string& text);
    // message = text, followed by ": " + the library's text when code is not 0.
    SystemException(int code, const std::string& text);

    std::unique_ptr<Throwable> clone() const override { return std::make_unique<SystemException>(*this); }
};

class FileException : public SystemException {
public:
    using SystemException::SystemException;
    std::unique_ptr<Throwable> clone() const override { return std::make_unique<FileException>(*this); }
};

// The text form of a Throwable, or what() of any other exception; for log lines.
std::string describe(const std::exception& error);

// The C library's text for an errno value, thread-safe.
std::string errorText(int code);

}  // namespace kel_util
