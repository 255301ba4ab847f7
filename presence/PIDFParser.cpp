#include "presence/PIDFParser.h"

#include "kel_util/HeaderField.h"
#include "kel_util/TextUtil.h"
#include "presence/PIDFText.h"

using kel_util::equalsIgnoreCase;

bool PIDFParser::parse(const char* text, int length) {
    info_ = PresenceInfo();
    tuple_.reset();
    status_.reset();
    return SimpleXMLParser::parse(text, length);
}

bool PIDFParser::isNote(std::string_view element) const {
    if (element.size() < prefix_.size() || !equalsIgnoreCase(element.substr(0, prefix_.size()), prefix_)) return false;
    const std::string_view rest = element.substr(prefix_.size());
    // Without a prefix, "status" is the PIDF status itself.
    return equalsIgnoreCase(rest, "substatus") || (!prefix_.empty() && equalsIgnoreCase(rest, "status"));
}

void PIDFParser::startElement(const char* name, int nameLength) {
    const std::string_view element = textOf(name, nameLength);
    if (hasLocalName(element, "tuple")) {
        tuple_.emplace();
        status_.reset();
    } else if (hasLocalName(element, "status") && tuple_ && !isNote(element)) {
        status_.emplace();
    }
}

void PIDFParser::endElement(const char* name, int nameLength) {
    const std::string_view element = textOf(name, nameLength);
    if (hasLocalName(element, "status") && tuple_ && status_ && !isNote(element)) {
        tuple_->basic = status_->basic;
        tuple_->note = std::move(status_->note);
        status_.reset();
    } else if (hasLocalName(element, "tuple") && tuple_) {
        info_.tuples.push_back(std::move(*tuple_));
        tuple_.reset();
        status_.reset();
    }
}

void PIDFParser::attribute(const char* element, int elementLength, const char* name, int nameLength,
                           const char* value, int valueLength) {
    const std::string_view elementName = textOf(element, elementLength);
    const std::string_view attributeName = textOf(name, nameLength);
    const std::string_view text = textOf(value, valueLength);
    if (hasLocalName(elementName, "presence") && equalsIgnoreCase(attributeName, "entity")) {
        info_.entity = text;
    } else if (hasLocalName(elementName, "display") && equalsIgnoreCase(attributeName, "name")) {
        info_.displayName = text;
    } else if (hasLocalName(elementName, "tuple") && equalsIgnoreCase(attributeName, "id") && tuple_) {
        tuple_->id = text;
    } else if (hasLocalName(elementName, "contact") && equalsIgnoreCase(attributeName, "priority") && tuple_ && !text.empty()) {
        if (const auto priority = parsePriority(text)) tuple_->priority = *priority;
    }
}

void PIDFParser::text(const char* element, int elementLength, const char* text, int textLength) {
    const std::string_view elementName = textOf(element, elementLength);
    const std::string_view value = kel_util::trimLinearSpace(textOf(text, textLength));
    if (!tuple_) return;
    if (status_ && hasLocalName(elementName, "basic")) {
        status_->basic = isOpenWord(value) ? 1 : 0;
    } else if (status_ && isNote(elementName)) {
        status_->note = value;
    } else if (hasLocalName(elementName, "contact")) {
        tuple_->contact = value;
    }
}
