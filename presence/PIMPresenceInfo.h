// The extended single-tuple presence document: a PIDF tuple carrying, besides its status and
// contact, an alias, two display names and a display message as elements under a prefix.
#pragma once

#include <string>
#include <string_view>

class PIMPresenceInfo {
public:
    static constexpr std::string_view kDefaultTupleId = "kelpimstat";

    // The document for entity (written as given, for example "sip:" user "@" host) with one
    // tuple of id tupleId: the status (basic, and the substatus under the prefix when not
    // empty), then the prefix's "alias-name", "display-name", "display-name2" and
    // "display-message" for those not empty, then the contact. The extensions go before the
    // contact because RFC 3863 section 4.1.1 allows elements of other namespaces in a tuple
    // only between the status and the contact. Values are escaped; lines end with CR LF.
    std::string write(std::string_view entityText, std::string_view prefix,
                      std::string_view tupleId = kDefaultTupleId) const;

    bool operator==(const PIMPresenceInfo&) const = default;

    std::string entity;
    // 1 open, 0 closed.
    int basic = 0;
    std::string substatus;
    std::string contact;
    // 0 when none.
    float priority = 0;
    std::string aliasName;
    std::string displayName;
    std::string displayName2;
    std::string displayMessage;
};
