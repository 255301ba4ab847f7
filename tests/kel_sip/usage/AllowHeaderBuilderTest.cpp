#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "HeaderLines.h"
#include "kel_sip/usage/AllowHeaderBuilder.h"

namespace kel_sip::test {
namespace {

TEST(AllowHeaderBuilder, ListsTheMethodsInUseOrTheExplicitText) {
    struct Case {
        AllowSettings settings;
        bool prackInUse;
        std::string present;  // what the message held before
        std::string headers;
    };
    const std::vector<Case> cases = {
        {{true, false, false, "OPTIONS"}, false, "", "Allow: INVITE,ACK,BYE,CANCEL"},
        {{true, true, true, ""}, true, "", "Allow: INVITE,ACK,BYE,CANCEL,PRACK,UPDATE,INFO"},
        {{true, false, true, ""}, false, "Allow: OPTIONS, bye", "Allow: OPTIONS,bye,INVITE,ACK,CANCEL,INFO"},
        {{false, true, true, "INVITE, ACK, OPTIONS"}, true, "", "Allow: INVITE, ACK, OPTIONS"},
        {{false, true, true, ""}, true, "", ""},
    };
    for (const Case& c : cases) {
        HeaderList message = headerLines(c.present);
        AllowHeaderBuilder(c.settings).add(c.prackInUse, message);
        EXPECT_EQ(printedLines(message), c.headers) << c.present << " " << c.settings.explicitText;
    }
}

}  // namespace
}  // namespace kel_sip::test
