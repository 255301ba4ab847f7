// A MIME content type (RFC 2045 section 5.1): type "/" subtype *(";" parameter).
#pragma once

#include <string>
#include <string_view>

#include "kel_util/HeaderField.h"

namespace kel_util {

class ContentType : public HeaderField {
public:
    void clear();
    // Parses length bytes of text. Linear white space around the type, the subtype and each
    // parameter's name and value is skipped; parameter values keep their quotes, except the
    // boundary, which is stored without them. A trailing ";" is accepted. False on a missing
    // slash, an empty type or subtype, or an empty parameter name. With clearFirst the fields
    // are cleared before parsing and again after a failure.
    bool parse(const char* text, int length, bool clearFirst);

    // True when type is "multipart" (without case).
    bool isMultipart() const;

    std::string type;
    std::string subType;
    std::string boundary;

private:
    bool parseFields(const char* text, int length);
    bool parseParameter(std::string_view text, bool last);
};

}  // namespace kel_util
