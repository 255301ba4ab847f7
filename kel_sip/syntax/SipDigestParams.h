// The "Digest" name=value lists shared by challenges and credentials (RFC 2617 section 3.2):
// one reader and one writer, so both classes follow the same rules.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace kel_sip {

class SipParam;

// SipParam::parse for the digest classes. Reads "Digest" followed by name=value pairs
// separated by ",". A value in double quotes runs to the next double quote (no escapes) and
// whatever follows it up to the next "," is skipped; any other value runs to the next ",".
// take receives each pair in order, names as written. With clearFirst, param is cleared
// before and again on failure. Failures throw SipParseException(wrapper) with the cause
// "no challenge name" (no scheme), unsupportedScheme (a scheme other than "Digest"),
// "invalid param" (nothing after "=") or "invalid value" (an unterminated quoted value).
void parseDigestParam(SipParam& param, const char* data, int length, bool clearFirst, const char* wrapper,
                      const char* unsupportedScheme,
                      const std::function<void(std::string_view name, std::string_view value)>& take);

// Writes "Digest name=value, name=value, ..."; nothing until the first parameter.
class DigestParameterWriter {
public:
    explicit DigestParameterWriter(std::string& out) : out_(out) {}

    void add(std::string_view name, std::string_view value, bool quoted);
    // add, but only when value is not empty.
    void addIfSet(std::string_view name, std::string_view value, bool quoted);

private:
    std::string& out_;
    bool first_ = true;
};

}  // namespace kel_sip
