#include "presence/PIDFText.h"

#include <cmath>
#include <cstdio>

#include "kel_util/HeaderField.h"
#include "kel_util/TextUtil.h"
#include "kel_util/XMLText.h"

namespace {

bool isDigit(char c) { return c >= '0' && c <= '9'; }

void appendElement(std::string& out, std::string_view indent, std::string_view prefix, std::string_view name,
                   std::string_view value) {
    out += indent;
    out += '<';
    out += prefix;
    out += name;
    out += '>';
    kel_util::appendXMLEscaped(out, value);
    out += "</";
    out += prefix;
    out += name;
    out += ">\r\n";
}

}  // namespace

std::string_view basicWord(int basic) { return basic == 1 ? "open" : "closed"; }

bool isOpenWord(std::string_view text) { return kel_util::equalsIgnoreCase(kel_util::trimLinearSpace(text), "open"); }

std::optional<float> parsePriority(std::string_view text) {
    if (text.empty() || (text[0] != '0' && text[0] != '1')) return std::nullopt;
    float value = static_cast<float>(text[0] - '0');
    if (text.size() == 1) return value;
    if (text[1] != '.' || text.size() > 5) return std::nullopt;
    int thousandths = 0;
    for (size_t i = 2; i < 5; ++i) {
        const char c = i < text.size() ? text[i] : '0';
        if (!isDigit(c)) return std::nullopt;
        thousandths = thousandths * 10 + (c - '0');
    }
    if (value == 1 && thousandths != 0) return std::nullopt;
    return value + static_cast<float>(thousandths) / 1000.0F;
}

void appendPresenceStart(std::string& out, std::string_view entity, std::string_view prefix) {
    out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<presence xmlns=\"";
    out += kPIDFNamespace;
    out += '"';
    if (prefix.size() > 1 && prefix.back() == ':') {
        out += " xmlns:";
        out += prefix.substr(0, prefix.size() - 1);
        out += "=\"";
        out += kPIDFExtensionNamespace;
        out += '"';
    }
    out += " entity=\"";
    kel_util::appendXMLEscaped(out, entity);
    out += "\">\r\n";
}

void appendTupleStart(std::string& out, std::string_view id, int basic, std::string_view note,
                      std::string_view prefix) {
    out += " <tuple id=\"";
    kel_util::appendXMLEscaped(out, id);
    out += "\">\r\n  <status>\r\n";
    appendElement(out, "   ", "", "basic", basicWord(basic));
    if (!note.empty()) appendElement(out, "   ", prefix, "substatus", note);
    out += "  </status>\r\n";
}

void appendContact(std::string& out, std::string_view contact, float priority) {
    if (contact.empty()) return;
    out += "  <contact";
    if (priority > 0) {
        // Three decimals without trailing zeros: 0.8, 0.125, 1.
        char text[16];
        std::snprintf(text, sizeof text, "%.3f", std::fmin(priority, 1.0F));
        std::string_view digits(text);
        while (digits.back() == '0') digits.remove_suffix(1);
        if (digits.back() == '.') digits.remove_suffix(1);
        out += " priority=\"";
        out += digits;
        out += '"';
    }
    out += '>';
    kel_util::appendXMLEscaped(out, contact);
    out += "</contact>\r\n";
}

void appendExtension(std::string& out, std::string_view prefix, std::string_view name, std::string_view value) {
    if (!value.empty()) appendElement(out, "   ", prefix, name, value);
}

void appendTupleEnd(std::string& out) { out += " </tuple>\r\n"; }

void appendPresenceEnd(std::string& out) { out += "</presence>\r\n"; }
