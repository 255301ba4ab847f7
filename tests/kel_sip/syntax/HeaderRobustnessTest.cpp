// Every header value class, fed every prefix of a valid value and single-byte corruptions of
// it, either parses or throws SipParseException; nothing else escapes and nothing is read past
// the given length (the sanitizer build checks the latter).
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "HeaderTestUtil.h"
#include "kel_sip/syntax/SipCSeq.h"
#include "kel_sip/syntax/SipDate.h"
#include "kel_sip/syntax/SipEvent.h"
#include "kel_sip/syntax/SipIntField.h"
#include "kel_sip/syntax/SipMethodList.h"
#include "kel_sip/syntax/SipRAck.h"
#include "kel_sip/syntax/SipReplaces.h"
#include "kel_sip/syntax/SipSessionExpires.h"
#include "kel_sip/syntax/SipStrList.h"
#include "kel_sip/syntax/SipSubscriptionState.h"
#include "kel_sip/syntax/SipVia.h"

namespace {

struct Sample {
    std::function<std::unique_ptr<kel_sip::SipParam>()> make;
    std::string text;
};

template <class T>
Sample sample(std::string text) {
    return {[] { return std::make_unique<T>(); }, std::move(text)};
}

std::vector<Sample> samples() {
    return {
        sample<kel_sip::SipVia>("SIP/2.0/UDP [2001:db8::9]:5060;branch=z9hG4bK1;rport=5062;ttl=9;x=\"a;b\""),
        sample<kel_sip::SipCSeq>("4711 INVITE"),
        sample<kel_sip::SipRAck>("776656 1 INVITE"),
        sample<kel_sip::SipIntField>("3600;a=1"),
        sample<kel_sip::SipSessionExpires>("1800;refresher=uac"),
        sample<kel_sip::SipEvent>("presence;id=7"),
        sample<kel_sip::SipSubscriptionState>("terminated;reason=timeout;expires=5;retry-after=30"),
        sample<kel_sip::SipReplaces>("a@b;to-tag=1;from-tag=2;early-only"),
        sample<kel_sip::SipMethodList>("*, -BYE, INVITE"),
        sample<kel_sip::SipStrList>("timer, 100rel"),
        sample<kel_sip::SipDate>("Sun, 06 Nov 1994 08:49:37 GMT"),
    };
}

// Parses text into a fresh value; a failure other than SipParseException fails the test.
void parseMustNotEscape(const Sample& s, const std::string& text) {
    const auto value = s.make();
    try {
        header_test::parseInto(*value, text);
        std::string printed;
        value->print(printed);
    } catch (const kel_sip::SipParseException&) {
    } catch (const std::exception& e) {
        ADD_FAILURE() << "unexpected exception " << e.what() << " for \"" << text << '"';
    }
}

}  // namespace

TEST(HeaderRobustness, EveryPrefixParsesOrFailsWithAParseError) {
    for (const Sample& s : samples()) {
        for (size_t n = 0; n <= s.text.size(); ++n) parseMustNotEscape(s, s.text.substr(0, n));
    }
}

TEST(HeaderRobustness, CorruptedBytesParseOrFailWithAParseError) {
    const char replacements[] = {'\0', '\xff', ' ', ';', ',', ':', '/', '=', '"', '9', '-', '\r', '\n', '['};
    for (const Sample& s : samples()) {
        for (size_t i = 0; i < s.text.size(); ++i) {
            for (char c : replacements) {
                std::string text = s.text;
                text[i] = c;
                parseMustNotEscape(s, text);
            }
        }
    }
}
