#include "presence/PIMPIDFParser.h"

#include "kel_util/HeaderField.h"
#include "kel_util/TextUtil.h"
#include "presence/PIDFText.h"

using kel_util::equalsIgnoreCase;

bool PIMPIDFParser::parse(const char* text, int length) {
    info_ = PIMPresenceInfo();
    return read(text, length);
}

bool PIMPIDFParser::parseRelated(const kel_util::MultipartMessage& body) {
    info_ = PIMPresenceInfo();
    if (!body.contentType.isMultipart() || !equalsIgnoreCase(body.contentType.subType, "related")) return false;
    bool any = false;
    for (const kel_util::MultipartMessage& part : body.parts) {
        if (!equalsIgnoreCase(part.contentType.type, "application") ||
            !equalsIgnoreCase(part.contentType.subType, "pidf+xml")) {
            continue;
        }
        if (!read(part.body.data(), static_cast<int>(part.body.size()))) return false;
        any = true;
    }
    return any;
}

bool PIMPIDFParser::read(const char* text, int length) {
    inTuple_ = inStatus_ = selected_ = done_ = false;
    return SimpleXMLParser::parse(text, length);
}

bool PIMPIDFParser::isExtension(std::string_view element, std::string_view name) const {
    return element.size() == prefix_.size() + name.size() &&
           equalsIgnoreCase(element.substr(0, prefix_.size()), prefix_) &&
           equalsIgnoreCase(element.substr(prefix_.size()), name);
}

void PIMPIDFParser::startElement(const char* name, int nameLength) {
    const std::string_view element = textOf(name, nameLength);
    if (hasLocalName(element, "tuple")) {
        inTuple_ = true;
        inStatus_ = false;
        selected_ = !done_ && wantedTupleId_.empty();
    } else if (hasLocalName(element, "status") && inTuple_) {
        inStatus_ = true;
    }
}

void PIMPIDFParser::endElement(const char* name, int nameLength) {
    const std::string_view element = textOf(name, nameLength);
    if (hasLocalName(element, "status")) {
        inStatus_ = false;
    } else if (hasLocalName(element, "tuple")) {
        if (selected_) done_ = true;
        inTuple_ = inStatus_ = selected_ = false;
    }
}

void PIMPIDFParser::attribute(const char* element, int elementLength, const char* name, int nameLength,
                              const char* value, int valueLength) {
    const std::string_view elementName = textOf(element, elementLength);
    const std::string_view attributeName = textOf(name, nameLength);
    const std::string_view text = textOf(value, valueLength);
    if (hasLocalName(elementName, "presence") && equalsIgnoreCase(attributeName, "entity") && !inTuple_) {
        info_.entity = text;
    } else if (hasLocalName(elementName, "tuple") && equalsIgnoreCase(attributeName, "id") && inTuple_) {
        selected_ = !done_ && (wantedTupleId_.empty() || text == wantedTupleId_);
    } else if (hasLocalName(elementName, "contact") && equalsIgnoreCase(attributeName, "priority") && selected_ &&
               !text.empty()) {
        if (const auto priority = parsePriority(text)) info_.priority = *priority;
    }
}

void PIMPIDFParser::text(const char* element, int elementLength, const char* text, int textLength) {
    if (!selected_) return;
    const std::string_view elementName = textOf(element, elementLength);
    const std::string value(kel_util::trimLinearSpace(textOf(text, textLength)));
    if (inStatus_) {
        if (hasLocalName(elementName, "basic") && !value.empty()) {
            info_.basic = isOpenWord(value) ? 1 : 0;
        } else if (isExtension(elementName, "substatus")) {
            info_.substatus = value;
        }
    } else if (hasLocalName(elementName, "contact")) {
        info_.contact = value;
    } else if (isExtension(elementName, "alias-name")) {
        info_.aliasName = value;
    } else if (isExtension(elementName, "display-name")) {
        info_.displayName = value;
    } else if (isExtension(elementName, "display-name2")) {
        info_.displayName2 = value;
    } else if (isExtension(elementName, "display-message")) {
        info_.displayMessage = value;
    }
}
