// A presence document of any number of tuples (RFC 3863), as written for PUBLISH and NOTIFY
// and as PIDFParser reads it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

struct PresenceTupleInfo {
    std::string id;
    // 1 open, 0 closed.
    int basic = 0;
    std::string note;
    std::string contact;
    // 0 when none.
    float priority = 0;

    bool operator==(const PresenceTupleInfo&) const = default;
};

class PresenceInfo {
public:
    // The document for entity "pres:" user "@" host: each tuple with its basic status, the
    // note as the prefix's "substatus" inside the status, and the contact with its priority;
    // lines end with CR LF and every value is escaped.
    std::string write(std::string_view user, std::string_view host, std::string_view prefix) const;

    // The presence element's entity, as read.
    std::string entity;
    std::string displayName;
    std::vector<PresenceTupleInfo> tuples;
};
