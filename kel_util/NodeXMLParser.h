// Reads a document into a tree of XMLNode that callers search by element name.
#pragma once

#include <memory>
#include <string_view>

#include "kel_util/SimpleXMLParser.h"
#include "kel_util/XMLNode.h"

namespace kel_util {

class NodeXMLParser : public SimpleXMLParser {
public:
    // Discards any previous tree, then walks the document (SimpleXMLParser::parse). On
    // failure the tree built so far stays until the next parse or clear.
    bool parse(const char* data, int length);
    void clear();

    XMLNode* root() const { return root_.get(); }

    // The first element named name (without case) in document order, remembered as the
    // search cursor. With continueFromLast the search goes on behind the element found last
    // (first among its children, then the later subtrees of it and its ancestors), so that
    // repeated calls visit every element of that name; without it, it starts at the root.
    // Null when there is none; the cursor then starts again at the root.
    XMLNode* find(std::string_view name, bool continueFromLast);

protected:
    void startElement(const char* name, int nameLength) override;
    void endElement(const char* name, int nameLength) override;
    void attribute(const char* element, int elementLength, const char* name, int nameLength, const char* value,
                   int valueLength) override;
    void text(const char* element, int elementLength, const char* text, int textLength) override;

private:
    std::unique_ptr<XMLNode> root_;
    // The open element, null outside the root.
    XMLNode* current_ = nullptr;
    XMLNode* cursor_ = nullptr;
};

}  // namespace kel_util
