// Reads a dialog information document (RFC 4235): the entity and, by dialog id, every dialog
// that carries an id, Call-ID, both tags, a direction and a state. Names compare byte for
// byte, element names without their namespace prefix; everything else is ignored.
#pragma once

#include <map>
#include <optional>
#include <string>

#include "kel_util/SimpleXMLParser.h"

struct XMLDialogData {
    std::string id;
    std::string callId;
    std::string localTag;
    std::string remoteTag;
    std::string direction;
    std::string remoteUri;
    std::string state;

    bool operator==(const XMLDialogData&) const = default;
};

class XMLDialogInfo : public kel_util::SimpleXMLParser {
public:
    // Reads a document into a fresh entity and dialogs; the result of the walk
    // (SimpleXMLParser::parse). On failure the dialogs stored so far stay.
    bool parse(const char* text, int length);

    // The dialog-info element's entity.
    std::string entity;
    // Complete dialogs by id; a later dialog with the same id replaces an earlier one.
    std::map<std::string, XMLDialogData> dialogs;

protected:
    void startElement(const char* name, int nameLength) override;
    void endElement(const char* name, int nameLength) override;
    void attribute(const char* element, int elementLength, const char* name, int nameLength, const char* value,
                   int valueLength) override;
    void text(const char* element, int elementLength, const char* text, int textLength) override;

private:
    // The dialog element being read.
    std::optional<XMLDialogData> dialog_;
};
