// One element of a document read by NodeXMLParser: its name, attributes, text and children.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace kel_util {

class XMLNode {
public:
    explicit XMLNode(std::string name) : name(std::move(name)) {}
    virtual ~XMLNode() = default;
    XMLNode(const XMLNode&) = delete;
    XMLNode& operator=(const XMLNode&) = delete;

    // Takes ownership of node, makes this node its parent and returns it.
    XMLNode* addChild(std::unique_ptr<XMLNode> node);
    // A new last child of that name.
    XMLNode* addChild(std::string_view childName);

    // Replaces the value of the attribute of that name (compared without case) or adds one.
    void setAttribute(std::string_view attributeName, std::string_view value);
    // The value, or null when the node has no attribute of that name.
    const std::string* getAttribute(std::string_view attributeName) const;
    // Replaces the text; nullopt removes it.
    void setText(std::optional<std::string> newText) { text = std::move(newText); }

    // The first element named name (without case) in document order within this subtree:
    // the node itself, then its children in order, each searched depth-first. With after,
    // the search starts behind that element of the subtree (first among its children, then
    // the later subtrees of it and its ancestors); after must lie in this subtree. Null when
    // there is none. Iterative, so a deep tree cannot exhaust the stack.
    XMLNode* find(std::string_view elementName, const XMLNode* after = nullptr);

    // Appends the element as XML text: "<", the name, the attributes as ` name="value"`;
    // then ">\r\n", the children and "</name>\r\n"; or ">", the text, "</name>\r\n"; or
    // "/>\r\n". Attribute values and text are escaped (XMLText.h). Recurses once per level:
    // trees read by NodeXMLParser are at most SimpleXMLParser::kMaxDepth deep.
    void print(std::string& out) const;

    const std::vector<std::pair<std::string, std::string>>& getAttributes() const { return attributes_; }
    const std::vector<std::unique_ptr<XMLNode>>& getChildren() const { return children_; }
    XMLNode* getParent() const { return parent_; }

    std::string name;
    std::optional<std::string> text;

private:
    // The element after this one in document order within the subtree of top, or null.
    XMLNode* next(const XMLNode* top) const;
    // The sibling after this node, or null.
    XMLNode* nextSibling() const;

    // In document order; names are unique without case.
    std::vector<std::pair<std::string, std::string>> attributes_;
    std::vector<std::unique_ptr<XMLNode>> children_;
    XMLNode* parent_ = nullptr;
    // This node's index among its parent's children.
    size_t index_ = 0;
};

}  // namespace kel_util
