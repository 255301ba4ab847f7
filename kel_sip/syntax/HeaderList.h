// A free-standing set of headers (from the settings, from a URI's "?" part) that is carried
// into a message: copying it into a message with addHeaders appends its values there.
#pragma once

#include <string>

#include "kel_sip/syntax/HeaderListBase.h"

namespace kel_sip {

class HeaderList : public HeaderListBase {
public:
    HeaderList() = default;
    ~HeaderList() override = default;
    HeaderList(const HeaderList&) = default;
    HeaderList& operator=(const HeaderList&) = default;
    HeaderList(HeaderList&&) noexcept = default;
    HeaderList& operator=(HeaderList&&) noexcept = default;

    virtual void clear();
    virtual bool empty() const;
    // Parses a header block (length bytes, "Name: value" lines, folding allowed, ended by the
    // data or an empty line) and adds each header with addHeader. A line without a usable
    // colon fails the parse; with clearFirst the list is then left empty.
    virtual bool parse(const char* data, int length, bool clearFirst);
    // The typed kinds, one value per line with full names, then the generic headers.
    virtual void print(std::string& out) const;

    SipHeaderList typedHeaders;
    kel_util::RFC822HeaderList headers;

protected:
    SipHeaderList& typedList() override { return typedHeaders; }
    const SipHeaderList& typedList() const override { return typedHeaders; }
    kel_util::RFC822HeaderList& genericList() override { return headers; }
    const kel_util::RFC822HeaderList& genericList() const override { return headers; }
};

}  // namespace kel_sip
