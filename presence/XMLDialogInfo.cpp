#include "presence/XMLDialogInfo.h"

#include <string_view>

#include "kel_util/TextUtil.h"

namespace {

std::string_view local(const char* data, int length) {
    return kel_util::SimpleXMLParser::localName(std::string_view(data, static_cast<size_t>(length)));
}

bool isComplete(const XMLDialogData& dialog) {
    return !dialog.id.empty() && !dialog.callId.empty() && !dialog.localTag.empty() && !dialog.remoteTag.empty() &&
           !dialog.direction.empty() && !dialog.state.empty();
}

}  // namespace

bool XMLDialogInfo::parse(const char* text, int length) {
    entity.clear();
    dialogs.clear();
    dialog_.reset();
    return SimpleXMLParser::parse(text, length);
}

void XMLDialogInfo::startElement(const char* name, int nameLength) {
    // A dialog still pending here was never closed properly; it is dropped.
    if (local(name, nameLength) == "dialog") dialog_.emplace();
}

void XMLDialogInfo::endElement(const char* name, int nameLength) {
    if (local(name, nameLength) != "dialog" || !dialog_) return;
    if (isComplete(*dialog_)) {
        const std::string id = dialog_->id;
        dialogs.insert_or_assign(id, std::move(*dialog_));
    }
    dialog_.reset();
}

void XMLDialogInfo::attribute(const char* element, int elementLength, const char* name, int nameLength,
                              const char* value, int valueLength) {
    const std::string_view elementName = local(element, elementLength);
    const std::string_view attributeName(name, static_cast<size_t>(nameLength));
    const std::string_view text(value, static_cast<size_t>(valueLength));
    if (elementName == "dialog-info" && attributeName == "entity") {
        entity = text;
        return;
    }
    if (elementName != "dialog" || !dialog_) return;
    if (attributeName == "id") {
        dialog_->id = text;
    } else if (attributeName == "call-id") {
        dialog_->callId = text;
    } else if (attributeName == "local-tag") {
        dialog_->localTag = text;
    } else if (attributeName == "remote-tag") {
        dialog_->remoteTag = text;
    } else if (attributeName == "direction") {
        dialog_->direction = text;
    } else if (attributeName == "remote-uri") {
        dialog_->remoteUri = text;
    }
}

void XMLDialogInfo::text(const char* element, int elementLength, const char* text, int textLength) {
    if (dialog_ && local(element, elementLength) == "state") {
        dialog_->state = kel_util::trimLinearSpace(std::string_view(text, static_cast<size_t>(textLength)));
    }
}
