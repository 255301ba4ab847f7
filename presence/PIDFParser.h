// Reads a PIDF document (RFC 3863) into a PresenceInfo: the entity, every tuple with its id,
// basic status, note, contact and priority. The PIDF element names compare without case and
// without their namespace prefix ("impp:tuple" is a tuple); the note is the text of the
// prefix's "substatus" or "status" element inside the status.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "kel_util/SimpleXMLParser.h"
#include "presence/PresenceInfo.h"

class PIDFParser : public kel_util::SimpleXMLParser {
public:
    explicit PIDFParser(std::string prefix) : prefix_(std::move(prefix)) {}

    // Reads a document into a fresh info(); the result of the walk (SimpleXMLParser::parse).
    // On failure the fields gathered so far stay filled.
    bool parse(const char* text, int length);

    const PresenceInfo& info() const { return info_; }

protected:
    void startElement(const char* name, int nameLength) override;
    void endElement(const char* name, int nameLength) override;
    void attribute(const char* element, int elementLength, const char* name, int nameLength, const char* value,
                   int valueLength) override;
    void text(const char* element, int elementLength, const char* text, int textLength) override;

private:
    // The prefix's "substatus" or "status"; with a prefix "ts:", "ts:status" is a note, not
    // the PIDF status that its local name would make it.
    bool isNote(std::string_view element) const;

    std::string prefix_;
    PresenceInfo info_;
    // The tuple being read, and its status.
    std::optional<PresenceTupleInfo> tuple_;
    std::optional<PresenceTupleInfo> status_;
};
