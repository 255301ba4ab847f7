#include "presence/PresenceInfo.h"

#include "presence/PIDFText.h"

std::string PresenceInfo::write(std::string_view user, std::string_view host, std::string_view prefix) const {
    std::string entityText = "pres:";
    entityText += user;
    entityText += '@';
    entityText += host;
    std::string out;
    appendPresenceStart(out, entityText, prefix);
    for (const PresenceTupleInfo& tuple : tuples) {
        appendTupleStart(out, tuple.id, tuple.basic, tuple.note, prefix);
        appendContact(out, tuple.contact, tuple.priority);
        appendTupleEnd(out);
    }
    appendPresenceEnd(out);
    return out;
}
