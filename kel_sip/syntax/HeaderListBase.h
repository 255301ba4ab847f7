// Header access shared by a message and a free-standing header set: a name in the header-kind
// table goes to the typed list under its kind, any other name to the generic list under the
// name as written. Values stay raw text; a typed value is parsed only when somebody asks.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "kel_sip/syntax/SipHeaderList.h"
#include "kel_sip/syntax/SipParam.h"
#include "kel_sip/syntax/SipStrList.h"
#include "kel_util/RFC822HeaderList.h"

namespace kel_sip {

class SipContact;

class HeaderListBase {
public:
    using Position = kel_util::RFC822ValueList::Position;

    virtual ~HeaderListBase() = default;

    // Appends a raw value under the name's kind, or under the name in the generic list.
    void addHeader(std::string_view name, std::string_view value);
    // Appends a raw value under a kind (0..SipHeader::Count-1; other kinds are ignored).
    void addHeader(int kind, std::string_view value);
    // A raw value at First, Last, Current or Next; null when there is none.
    const std::string* getHeader(std::string_view name, Position position);
    const std::string* getHeader(int kind, Position position);
    bool hasHeader(int kind) const;
    // Drops every value of the kind (or generic name); false when there was none.
    bool removeHeader(int kind);
    bool removeHeader(std::string_view name);
    // Appends copies of all values of other, kind by kind and name by name.
    void addHeaders(const HeaderListBase& other);

    // Parses the raw value of kind at position into value (with clearFirst). With
    // firstElement the raw value is cut as an address list and only its first element is
    // parsed (Contact: "<sip:a@h>, <sip:b@h>"). False when there is no value or it does not
    // parse; a value that fails never throws out of here.
    bool getTypedHeader(int kind, SipParam& value, Position position = Position::First, bool firstElement = false);
    // Appends the printed form of value under kind.
    void addTypedHeader(int kind, const SipParam& value);
    // One Session-Expires value (RFC 4028): nothing when seconds is negative; the refresher
    // (SipSessionExpires::Refresher) is kept only when seconds is greater than 0.
    void addSessionExpires(int seconds, int refresher);
    // One Contact value per contact, in order.
    void addContacts(const std::vector<SipContact>& contacts);
    // Merges option tags into a comma-list kind (Supported, Require, ...): the kind's values
    // and the new tags become one value, each tag once (compared without case), first order kept.
    void mergeStrList(int kind, const SipStrList& additions);
    // mergeStrList with the one tag.
    void addOptionTag(int kind, std::string_view tag);
    // The tags of every value of a comma-list kind, each once, first order kept; a value that is
    // no token list is skipped.
    SipStrList getStrList(int kind) const;
    // Whether a value of the comma-list kind names tag ("100rel" in Require), without case.
    bool hasOptionTag(int kind, std::string_view tag) const;

protected:
    HeaderListBase() = default;
    HeaderListBase(const HeaderListBase&) = default;
    HeaderListBase& operator=(const HeaderListBase&) = default;
    HeaderListBase(HeaderListBase&&) noexcept = default;
    HeaderListBase& operator=(HeaderListBase&&) noexcept = default;

    // The two lists this façade works on; owned by the derived class.
    virtual SipHeaderList& typedList() = 0;
    virtual const SipHeaderList& typedList() const = 0;
    virtual kel_util::RFC822HeaderList& genericList() = 0;
    virtual const kel_util::RFC822HeaderList& genericList() const = 0;
};

}  // namespace kel_sip
