// Character data of XML 1.0 documents: escaping for writing and reference decoding for
// reading. Both the node printer and the presence writers escape through here, so that text
// holding "&" or "<" cannot close an element or open a new one.
#pragma once

#include <string>
#include <string_view>

namespace kel_util {

// Appends text escaped for element content or a double-quoted attribute value: the five
// predefined entities for & < > " ', character references for HT, LF and CR (so that
// attribute-value normalisation and line-end handling of other parsers keep them), and
// nothing for the C0 control bytes that XML 1.0 cannot carry at all (XML 1.0 section 2.2).
void appendXMLEscaped(std::string& out, std::string_view text);
std::string escapeXML(std::string_view text);

// Decodes the references of raw character data (XML 1.0 section 4.1): the five predefined
// entities and decimal or hexadecimal character references, written as UTF-8. False, leaving
// out unspecified, on a bare "&", an unknown entity, a reference without ";", one whose value
// is not an XML Char (0, surrogates, U+FFFE, beyond U+10FFFF) or a raw control byte that is
// not one either.
bool decodeXMLText(std::string_view raw, std::string& out);

}  // namespace kel_util
