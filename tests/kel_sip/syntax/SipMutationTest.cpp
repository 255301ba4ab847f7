// Mutated inputs either fail with SipParseException or parse into a value whose printed form
// parses again and prints the same: a parser/printer disagreement shows up as a broken round trip.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "kel_sip/syntax/SipContactList.h"
#include "kel_sip/syntax/SipFromTo.h"

using namespace kel_sip;

namespace {

const char* const kSeeds[] = {
    "\"A \\\"B\\\", C\" <sip:u;p=1:pw@[2001:db8::1]:5070;transport=tcp;lr;x=y?h=v&k>;tag=1;q=0.5;expires=60",
    "sip:a,b;c@host.example:5060;tag=x",
    "<sips:%41%00@10.0.0.1;maddr=1.2.3.4;ttl=9>;+p=\"<x>\"",
    "tel:+1-555;phone-context=a",
    "*",
};
const char kAlphabet[] = "<>\";:,@?&=%[] \t\r\nsip0aA\\*.\x00\xff";

std::string mutate(std::string text, std::mt19937& random) {
    std::uniform_int_distribution<int> edits(1, 4);
    for (int n = edits(random); n > 0; --n) {
        const size_t pos = std::uniform_int_distribution<size_t>(0, text.size())(random);
        const char c = kAlphabet[std::uniform_int_distribution<size_t>(0, sizeof kAlphabet - 2)(random)];
        switch (std::uniform_int_distribution<int>(0, 2)(random)) {
            case 0:
                text.insert(pos, 1, c);
                break;
            case 1:
                if (pos < text.size()) text.erase(pos, 1);
                break;
            default:
                if (pos < text.size()) text[pos] = c;
                break;
        }
    }
    return text;
}

template <typename T>
void checkStable(const std::string& input) {
    T first;
    try {
        first.parse(input.data(), static_cast<int>(input.size()), true);
    } catch (const SipParseException&) {
        return;
    }
    const std::string text = first.toString();
    T second;
    try {
        second.parse(text.data(), static_cast<int>(text.size()), true);
    } catch (const SipParseException& e) {
        ADD_FAILURE() << "input [" << input << "] printed [" << text << "] does not parse: " << e.toString();
        return;
    }
    EXPECT_EQ(second.toString(), text) << "input [" << input << "]";
}

}  // namespace

TEST(SipMutation, MutatedAddressesFailCleanlyOrRoundTrip) {
    std::mt19937 random(4242);
    for (const char* seed : kSeeds) {
        for (int i = 0; i < 3000; ++i) {
            const std::string input = mutate(seed, random);
            checkStable<SipContact>(input);
            checkStable<SipFromTo>(input);
            checkStable<SipURI>(input);
            std::vector<SipContact> contacts;
            readContacts(std::vector<std::string>{input}, contacts, SipContactOptions{.sortByQ = true});
        }
    }
}
