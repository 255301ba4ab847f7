#include <gtest/gtest.h>

#include <string>

#include "presence/WatcherInfoParser.h"
#include "presence/XMLDialogInfo.h"
#include "tests/support/TempDir.h"

namespace {

std::string data(const std::string& name) { return tessaly_test::readFile(TESSALY_TEST_DATA_DIR "/" + name); }

template <typename Parser>
bool parse(Parser& parser, const std::string& text) {
    return parser.parse(text.data(), static_cast<int>(text.size()));
}

}  // namespace

TEST(WatcherInfoParser, ReadsTheWatchersOfTheRfc3858Example) {
    WatcherInfoParser parser;
    ASSERT_TRUE(parse(parser, data("rfc3858-example.xml")));
    ASSERT_EQ(parser.watchers().size(), 2u);
    EXPECT_EQ(parser.watchers()[0], (WatcherInfo{"8ajksjda7s", "", "sip:userA@example.net"}));
    EXPECT_EQ(parser.watchers()[1], (WatcherInfo{"hh8juja87s997-ass7", "Mr. Subscriber", "sip:userB@example.org"}));

    // A document cut short keeps the watchers read before the cut.
    const std::string whole = data("rfc3858-example.xml");
    const std::string cut = whole.substr(0, whole.find("<watcher status=\"pending\""));
    EXPECT_FALSE(parse(parser, cut));
    EXPECT_EQ(parser.watchers().size(), 1u);
}

TEST(XMLDialogInfo, StoresCompleteDialogsOfTheRfc4235ExamplesByIdAndDropsIncompleteOnes) {
    XMLDialogInfo info;
    ASSERT_TRUE(parse(info, data("rfc4235-trying.xml")));
    EXPECT_EQ(info.entity, "sip:alice@example.com");
    EXPECT_TRUE(info.dialogs.empty()) << "an early dialog has no remote tag";

    ASSERT_TRUE(parse(info, data("rfc4235-confirmed.xml")));
    ASSERT_EQ(info.dialogs.size(), 1u);
    EXPECT_EQ(info.dialogs.at("as7d900as8"),
              (XMLDialogData{"as7d900as8", "a84b4c76e66710", "1928301774", "456887766", "initiator", "", "confirmed"}));

    ASSERT_TRUE(parse(info, data("rfc4235-full.xml")));
    EXPECT_EQ(info.entity, "sip:alice@example.com");
    EXPECT_TRUE(info.dialogs.empty()) << "no call-id, no tags";
}

TEST(XMLDialogInfo, ALaterDialogWithTheSameIdReplacesTheEarlierOne) {
    const std::string document =
        "<dialog-info xmlns=\"urn:ietf:params:xml:ns:dialog-info\" version=\"2\" state=\"partial\" entity=\"sip:b@h\">"
        "<dialog id=\"d1\" call-id=\"c1\" local-tag=\"l1\" remote-tag=\"r1\" direction=\"recipient\" "
        "remote-uri=\"sip:a@h\"><state>early</state></dialog>"
        "<dialog id=\"d2\" call-id=\"c2\" local-tag=\"l2\" direction=\"recipient\"><state>early</state></dialog>"
        "<dialog id=\"d1\" call-id=\"c1\" local-tag=\"l1\" remote-tag=\"r1\" direction=\"recipient\">"
        "<state event=\"replaced\">terminated</state></dialog></dialog-info>";
    XMLDialogInfo info;
    ASSERT_TRUE(parse(info, document));
    ASSERT_EQ(info.dialogs.size(), 1u);
    EXPECT_EQ(info.dialogs.at("d1"), (XMLDialogData{"d1", "c1", "l1", "r1", "recipient", "", "terminated"}));
}
