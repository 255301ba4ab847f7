// An event parser for the small XML documents the system exchanges (presence, watcher and
// dialog information, UPnP descriptions). It walks a document once and calls the virtual
// handlers; the base handlers do nothing.
//
// The grammar is a subset of XML 1.0: one root element, elements with double-quoted
// attributes, text-only content, the XML declaration, processing instructions, comments and
// other "<!" declarations (skipped, also after the root). There is no CDATA, no mixed
// content and no DTD processing; the five predefined entities and character references are
// decoded in text and attribute values.
//
// Names are pointer and length into the document. Values are decoded into a buffer of the
// parser that stays valid only until the handler returns. Text reaches the handler without leading and trailing
// white space; content of only white space is no text.
#pragma once

#include <string>
#include <string_view>

namespace kel_util {

class SimpleXMLParser {
public:
    // Deepest element nesting that parse accepts; the walk recurses once per level.
    static constexpr int kMaxDepth = 256;
    // Longest document that parse accepts, in bytes.
    static constexpr int kMaxLength = 1 << 20;

    SimpleXMLParser() = default;
    virtual ~SimpleXMLParser() = default;
    SimpleXMLParser(const SimpleXMLParser&) = delete;
    SimpleXMLParser& operator=(const SimpleXMLParser&) = delete;

    // Walks length bytes of data and calls the handlers. False on the first malformation,
    // on nesting deeper than kMaxDepth, on a second top-level element, on a document without
    // any element and on a length outside 0..kMaxLength; handlers may already have been called.
    // Nothing throws.
    bool parse(const char* data, int length);

    // The part of a qualified name after its namespace prefix: "impp:tuple" gives "tuple".
    static std::string_view localName(std::string_view name) noexcept;
    // Whether an element's local name is localName, compared without case.
    static bool hasLocalName(std::string_view element, std::string_view localName) noexcept;
    // The bytes a handler is given, as a view.
    static std::string_view textOf(const char* data, int length) noexcept {
        return std::string_view(data, static_cast<size_t>(length));
    }

protected:
    virtual void startElement(const char* name, int nameLength);
    virtual void endElement(const char* name, int nameLength);
    virtual void attribute(const char* element, int elementLength, const char* name, int nameLength,
                           const char* value, int valueLength);
    virtual void text(const char* element, int elementLength, const char* text, int textLength);

private:
    void skipSpace();
    bool startsWith(std::string_view prefix) const;
    // Skips "<?" ... "?>" or "<!" ... up to its end at pos_; false when it is not closed.
    bool skipMarkup();
    // One element, pos_ just after its "<".
    bool parseElement(int depth);
    bool parseAttributes(std::string_view element, bool& empty);
    bool parseContent(std::string_view element, int depth);
    bool parseEndTag(std::string_view element);
    // value: the decoded form of raw, held in scratch_. False when raw does not decode.
    bool decode(std::string_view raw, std::string_view& value);

    const char* pos_ = nullptr;
    const char* end_ = nullptr;
    std::string scratch_;
};

}  // namespace kel_util
