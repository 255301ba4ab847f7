#include "kel_util/NodeXMLParser.h"

#include <string>

namespace kel_util {

bool NodeXMLParser::parse(const char* data, int length) {
    clear();
    return SimpleXMLParser::parse(data, length);
}

void NodeXMLParser::clear() {
    root_.reset();
    current_ = nullptr;
    cursor_ = nullptr;
}

XMLNode* NodeXMLParser::find(std::string_view name, bool continueFromLast) {
    if (root_ == nullptr) return nullptr;
    cursor_ = root_->find(name, continueFromLast ? cursor_ : nullptr);
    return cursor_;
}

void NodeXMLParser::startElement(const char* name, int nameLength) {
    std::string elementName(name, static_cast<size_t>(nameLength));
    if (current_ != nullptr) {
        current_ = current_->addChild(elementName);
    } else if (root_ == nullptr) {
        root_ = std::make_unique<XMLNode>(std::move(elementName));
        current_ = root_.get();
    }
}

void NodeXMLParser::endElement(const char*, int) {
    if (current_ != nullptr) current_ = current_->getParent();
}

void NodeXMLParser::attribute(const char*, int, const char* name, int nameLength, const char* value,
                              int valueLength) {
    if (current_ == nullptr) return;
    current_->setAttribute(std::string_view(name, static_cast<size_t>(nameLength)),
                           std::string_view(value, static_cast<size_t>(valueLength)));
}

void NodeXMLParser::text(const char*, int, const char* text, int textLength) {
    if (current_ != nullptr) current_->setText(std::string(text, static_cast<size_t>(textLength)));
}

}  // namespace kel_util
