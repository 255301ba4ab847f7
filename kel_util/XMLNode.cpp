#include "kel_util/XMLNode.h"

#include "kel_util/HeaderField.h"
#include "kel_util/XMLText.h"

namespace kel_util {

XMLNode* XMLNode::addChild(std::unique_ptr<XMLNode> node) {
    if (node == nullptr) return nullptr;
    node->parent_ = this;
    node->index_ = children_.size();
    children_.push_back(std::move(node));
    return children_.back().get();
}

XMLNode* XMLNode::addChild(std::string_view childName) {
    return addChild(std::make_unique<XMLNode>(std::string(childName)));
}

void XMLNode::setAttribute(std::string_view attributeName, std::string_view value) {
    for (auto& [key, stored] : attributes_) {
        if (equalsIgnoreCase(key, attributeName)) {
            stored.assign(value);
            return;
        }
    }
    attributes_.emplace_back(std::string(attributeName), std::string(value));
}

const std::string* XMLNode::getAttribute(std::string_view attributeName) const {
    for (const auto& [key, value] : attributes_) {
        if (equalsIgnoreCase(key, attributeName)) return &value;
    }
    return nullptr;
}

XMLNode* XMLNode::nextSibling() const {
    if (parent_ == nullptr || index_ + 1 >= parent_->children_.size()) return nullptr;
    return parent_->children_[index_ + 1].get();
}

XMLNode* XMLNode::next(const XMLNode* top) const {
    if (!children_.empty()) return children_.front().get();
    for (const XMLNode* node = this; node != nullptr && node != top; node = node->parent_) {
        if (XMLNode* sibling = node->nextSibling()) return sibling;
    }
    return nullptr;
}

XMLNode* XMLNode::find(std::string_view elementName, const XMLNode* after) {
    for (XMLNode* node = after == nullptr ? this : after->next(this); node != nullptr; node = node->next(this)) {
        if (equalsIgnoreCase(node->name, elementName)) return node;
    }
    return nullptr;
}

void XMLNode::print(std::string& out) const {
    out += '<';
    out += name;
    for (const auto& [key, value] : attributes_) {
        out += ' ';
        out += key;
        out += "=\"";
        appendXMLEscaped(out, value);
        out += '"';
    }
    if (!children_.empty()) {
        out += ">\r\n";
        for (const auto& child : children_) child->print(out);
    } else if (text) {
        out += '>';
        appendXMLEscaped(out, *text);
    } else {
        out += "/>\r\n";
        return;
    }
    out += "</";
    out += name;
    out += ">\r\n";
}

}  // namespace kel_util
