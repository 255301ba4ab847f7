// Pieces that the PIDF writers and readers share (RFC 3863): the document frame, the status
// and contact elements, the basic status words and the contact priority.
#pragma once

#include <optional>
#include <string>
#include <string_view>

// The namespace of the presence element (RFC 3863 section 4.1.2).
inline constexpr std::string_view kPIDFNamespace = "urn:ietf:params:xml:ns:pidf";
// The namespace declared for the extension elements when their prefix has the form
// "name:"; undeclared, the prefix would make the document unreadable to namespace-aware
// parsers (Namespaces in XML 1.0 section 5).
inline constexpr std::string_view kPIDFExtensionNamespace = "urn:x-tessaly:params:xml:ns:pidf-status";

// 1 "open", anything else "closed".
std::string_view basicWord(int basic);
// True when text, without SP, HT, CR and LF at either end, is "open" in any case.
bool isOpenWord(std::string_view text);

// A contact priority as RFC 3863 section 4.1.5 writes it, a qvalue of RFC 3261: "0" or "1"
// with up to three decimals, at most 1. Anything else is nullopt.
std::optional<float> parsePriority(std::string_view text);

// The XML declaration and the presence start tag with the pidf namespace, the extension
// namespace when prefix is "name:" and the entity attribute; each line ends with CR LF.
void appendPresenceStart(std::string& out, std::string_view entity, std::string_view prefix);
// " <tuple id=...>" and the status element: basic, then the prefix's "substatus" when note
// is not empty.
void appendTupleStart(std::string& out, std::string_view id, int basic, std::string_view note, std::string_view prefix);
// The contact element when contact is not empty, with its priority when above 0 (values
// above 1 are written as 1, which is the most a qvalue can say).
void appendContact(std::string& out, std::string_view contact, float priority);
// "   <" prefix name ">" value "</" prefix name ">" when value is not empty.
void appendExtension(std::string& out, std::string_view prefix, std::string_view name, std::string_view value);
// " </tuple>".
void appendTupleEnd(std::string& out);
// "</presence>".
void appendPresenceEnd(std::string& out);
