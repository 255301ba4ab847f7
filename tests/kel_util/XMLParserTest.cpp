#include "kel_util/NodeXMLParser.h"
#include "kel_util/XMLText.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using kel_util::NodeXMLParser;
using kel_util::XMLNode;

namespace {

bool parse(NodeXMLParser& parser, const std::string& text) {
    return parser.parse(text.data(), static_cast<int>(text.size()));
}

std::string printed(const XMLNode* node) {
    std::string out;
    if (node != nullptr) node->print(out);
    return out;
}

std::string nested(int depth) {
    std::string text;
    for (int i = 0; i < depth; ++i) text += "<a>";
    text += "x";
    for (int i = 0; i < depth; ++i) text += "</a>";
    return text;
}

}  // namespace

TEST(NodeXMLParser, ReadsDeclarationCommentsAttributesAndTrimmedText) {
    NodeXMLParser parser;
    ASSERT_TRUE(parse(parser,
                      "\xEF\xBB\xBF<?xml version=\"1.0\"?>\r\n<!-- a comment -->\n<!DOCTYPE r>\n"
                      "<r a = \"1\" B=\"two words\">\n <c>  inner  blanks\tkept \r\n</c>\n <e/>\n"
                      " <w> \r\n </w><t>&amp;&lt;&gt;&quot;&apos;&#65;&#x263a;</t></r>\n<!-- trailer -->"));
    XMLNode* root = parser.root();
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->name, "r");
    ASSERT_NE(root->getAttribute("b"), nullptr);
    EXPECT_EQ(*root->getAttribute("b"), "two words");
    EXPECT_EQ(*root->getAttribute("A"), "1");
    ASSERT_EQ(root->getChildren().size(), 4u);
    EXPECT_EQ(root->getChildren()[0]->text.value_or("<none>"), "inner  blanks\tkept");
    EXPECT_FALSE(root->getChildren()[1]->text.has_value());
    EXPECT_FALSE(root->getChildren()[2]->text.has_value()) << "content of only white space is no text";
    EXPECT_EQ(root->getChildren()[3]->text.value_or("<none>"), "&<>\"'A\xE2\x98\xBA");
}

TEST(NodeXMLParser, RefusesMalformedAndHostileDocumentsCleanly) {
    const std::vector<std::pair<const char*, std::string>> cases = {
        {"unterminated comment", "<!-- no end <r/>"},
        {"unterminated declaration", "<?xml version=\"1.0\""},
        {"single-quoted attribute", "<r a='1'/>"},
        {"attribute without =", "<r a \"1\"/>"},
        {"text between = and quote", "<r a=x\"1\"/>"},
        {"unterminated value", "<r a=\"1/>"},
        {"closing tag of another name", "<r><c></d></r>"},
        {"closing tag with a longer name", "<r></rr>"},
        {"mixed content", "<r>text<c/></r>"},
        {"unclosed element", "<r><c/>"},
        {"cut inside a start tag", "<r a=\"1\""},
        {"empty name", "< r/>"},
        {"second top-level element", "<r/><s/>"},
        {"no element at all", "<?xml version=\"1.0\"?><!-- only -->"},
        {"empty document", ""},
        {"bare ampersand", "<r>a & b</r>"},
        {"unknown entity", "<r>&nbsp;</r>"},
        {"reference without semicolon", "<r a=\"&amp\"/>"},
        {"character reference 0", "<r>&#0;</r>"},
        {"surrogate reference", "<r>&#xD800;</r>"},
        {"reference beyond U+10FFFF", "<r>&#x110000;</r>"},
        {"overlong reference", "<r>&#99999999999999999999;</r>"},
        {"empty reference", "<r>&#x;</r>"},
        {"raw control byte", std::string("<r>a\x01z</r>")},
        {"raw NUL in a value", std::string("<r a=\"\0\"/>", 10)},
        {"nesting deeper than 256", nested(257)},
        {"deep nesting cut off", [] {
             std::string text;
             for (int i = 0; i < 100000; ++i) text += "<a>";
             return text;
         }()},
    };
    for (const auto& [what, text] : cases) {
        NodeXMLParser parser;
        EXPECT_FALSE(parse(parser, text)) << what;
    }
    NodeXMLParser parser;
    EXPECT_TRUE(parse(parser, nested(256)));
    EXPECT_FALSE(parser.parse(nullptr, 0));
    EXPECT_FALSE(parser.parse("<r/>", -1));
    std::string huge = "<r>" + std::string(kel_util::SimpleXMLParser::kMaxLength, 'x') + "</r>";
    EXPECT_FALSE(parse(parser, huge));
}

TEST(NodeXMLParser, FindWithContinueFromLastVisitsEveryElementInDocumentOrder) {
    NodeXMLParser parser;
    ASSERT_TRUE(parse(parser,
                      "<presence><tuple id=\"1\"><status><basic>open</basic></status>"
                      "<tuple id=\"2\"/></tuple><x><y><TUPLE id=\"3\"/></y></x><tuple id=\"4\"/></presence>"));
    std::string ids;
    for (XMLNode* node = parser.find("tuple", false); node != nullptr; node = parser.find("tuple", true)) {
        ids += *node->getAttribute("id");
    }
    EXPECT_EQ(ids, "1234");
    EXPECT_EQ(parser.find("tuple", false)->getAttribute("id")->front(), '1') << "without continuing, from the root";
    EXPECT_EQ(parser.find("basic", false)->text.value_or(""), "open");
    EXPECT_EQ(parser.find("presence", true), nullptr) << "the root lies before the last element found";
}

TEST(XMLNode, PrintsEscapedTextAndAttributesThatReadBackTheSame) {
    XMLNode node("note");
    node.setAttribute("lang", "en");
    node.setText("a & b");
    EXPECT_EQ(printed(&node), "<note lang=\"en\">a &amp; b</note>\r\n");

    XMLNode root("r");
    const std::string hostile = "x\"/><evil a=\"1\"></r>&amp; <b>'\t\r\nz";
    root.setAttribute("v", hostile);
    root.addChild("c")->setText(hostile);
    root.addChild("e");
    const std::string text = printed(&root);
    EXPECT_EQ(text.find("<evil"), std::string::npos);
    NodeXMLParser parser;
    ASSERT_TRUE(parse(parser, text)) << text;
    EXPECT_EQ(*parser.root()->getAttribute("v"), hostile);
    ASSERT_EQ(parser.root()->getChildren().size(), 2u);
    EXPECT_EQ(parser.root()->getChildren()[0]->text.value_or(""), hostile);
    EXPECT_EQ(printed(parser.root()), text);
    EXPECT_EQ(kel_util::escapeXML(std::string("a\x01\x1f" "b")), "ab") << "XML 1.0 cannot carry C0 controls";
}
