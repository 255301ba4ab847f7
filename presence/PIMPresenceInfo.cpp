#include "presence/PIMPresenceInfo.h"

#include "presence/PIDFText.h"

std::string PIMPresenceInfo::write(std::string_view entityText, std::string_view prefix,
                                   std::string_view tupleId) const {
    std::string out;
    appendPresenceStart(out, entityText, prefix);
    appendTupleStart(out, tupleId, basic, substatus, prefix);
    appendExtension(out, prefix, "alias-name", aliasName);
    appendExtension(out, prefix, "display-name", displayName);
    appendExtension(out, prefix, "display-name2", displayName2);
    appendExtension(out, prefix, "display-message", displayMessage);
    appendContact(out, contact, priority);
    appendTupleEnd(out);
    appendPresenceEnd(out);
    return out;
}
