// Reads the extended single-tuple presence document (PIMPresenceInfo) out of a PIDF
// document: the entity and the first tuple whose id is the wanted one (compared byte for
// byte; the first tuple of all when the wanted id is empty), with its status, substatus,
// contact, priority and the prefix's extension elements. Other tuples are ignored. Element
// names compare without case; the PIDF ones also without their namespace prefix.
#pragma once

#include <string>
#include <string_view>
#include <utility>

#include "kel_util/MultipartMessage.h"
#include "kel_util/SimpleXMLParser.h"
#include "presence/PIMPresenceInfo.h"

class PIMPIDFParser : public kel_util::SimpleXMLParser {
public:
    PIMPIDFParser(std::string prefix, std::string wantedTupleId)
        : prefix_(std::move(prefix)), wantedTupleId_(std::move(wantedTupleId)) {}

    // Reads a document into a fresh info(); the result of the walk (SimpleXMLParser::parse).
    // On failure the fields gathered so far stay filled.
    bool parse(const char* text, int length);
    // Reads a NOTIFY body of type multipart/related (RFC 2387): every part of type
    // application/pidf+xml (both words without case) in turn, so that a later part's fields
    // replace an earlier one's. False when the body is not multipart/related, holds no such
    // part or one of them fails to read.
    bool parseRelated(const kel_util::MultipartMessage& body);

    const PIMPresenceInfo& info() const { return info_; }

protected:
    void startElement(const char* name, int nameLength) override;
    void endElement(const char* name, int nameLength) override;
    void attribute(const char* element, int elementLength, const char* name, int nameLength, const char* value,
                   int valueLength) override;
    void text(const char* element, int elementLength, const char* text, int textLength) override;

private:
    // Walks one document into info_ without clearing it.
    bool read(const char* text, int length);
    // True when element is the prefix followed by name.
    bool isExtension(std::string_view element, std::string_view name) const;

    std::string prefix_;
    std::string wantedTupleId_;
    PIMPresenceInfo info_;
    bool inTuple_ = false;
    bool inStatus_ = false;
    // Inside the tuple being collected.
    bool selected_ = false;
    // The wanted tuple has been read; later tuples are ignored.
    bool done_ = false;
};
