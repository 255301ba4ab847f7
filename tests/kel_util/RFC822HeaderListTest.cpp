#include "kel_util/RFC822HeaderList.h"

#include <gtest/gtest.h>

#include <string>

using kel_util::RFC822HeaderList;
using kel_util::RFC822ValueList;

namespace {

std::string at(const std::string* value) { return value == nullptr ? "<null>" : *value; }

}  // namespace

TEST(RFC822ValueList, CursorMovesWithAddAndGet) {
    RFC822ValueList list;
    EXPECT_EQ(list.get(RFC822ValueList::First), nullptr);
    list.add("a");
    list.add(static_cast<const char*>(nullptr));
    list.add(std::string("c"));
    EXPECT_EQ(at(list.get(RFC822ValueList::Current)), "c");
    EXPECT_EQ(at(list.get(RFC822ValueList::First)), "a");
    EXPECT_EQ(at(list.get(RFC822ValueList::Next)), "");
    EXPECT_EQ(at(list.get(RFC822ValueList::Next)), "c");
    EXPECT_EQ(list.get(RFC822ValueList::Next), nullptr);
    EXPECT_EQ(list.get(RFC822ValueList::Next), nullptr);
    EXPECT_EQ(list.get(RFC822ValueList::Current), nullptr);
    EXPECT_EQ(at(list.get(RFC822ValueList::Last)), "c");
}

TEST(RFC822ValueList, AddAllAppendsCopiesEvenOfItself) {
    RFC822ValueList list;
    list.add("a");
    list.add("b");
    list.addAll(list);
    EXPECT_EQ(list.getValues(), (std::vector<std::string>{"a", "b", "a", "b"}));
}

TEST(RFC822HeaderList, NamesMatchWithoutCaseAndKeepTheirFirstForm) {
    RFC822HeaderList headers;
    headers.addValue("X-Test", "1");
    headers.addValue("Other", "o");
    headers.addValue("x-TEST", "2");
    ASSERT_EQ(headers.getEntries().size(), 2u);
    EXPECT_EQ(headers.getEntries()[0].name, "X-Test");
    EXPECT_EQ(at(headers.getValue("X-TEST", RFC822ValueList::Last)), "2");
    EXPECT_EQ(headers.getValue("Missing", RFC822ValueList::First), nullptr);
}

TEST(RFC822HeaderList, NullNameAddsToTheEntryUnderTheCursor) {
    RFC822HeaderList headers;
    headers.addValue(nullptr, "lost");
    EXPECT_TRUE(headers.empty());
    headers.addValue("A", "1");
    headers.addValue("B", "2");
    headers.getValue("a", RFC822ValueList::First);
    headers.addValue(nullptr, "3");
    EXPECT_EQ(headers.find("A")->getValues(), (std::vector<std::string>{"1", "3"}));
}

TEST(RFC822HeaderList, PrintsValuesOfANameTogetherInOrder) {
    RFC822HeaderList headers;
    headers.addValue("B", "1");
    headers.addValue("A", "x");
    headers.addValue("b", "2");
    std::string out;
    headers.print(out);
    EXPECT_EQ(out, "B: 1\r\nB: 2\r\nA: x\r\n");
}

TEST(RFC822HeaderList, RemoveKeepsTheOtherNamesReachable) {
    RFC822HeaderList headers;
    headers.addValue("A", "1");
    headers.addValue("B", "2");
    headers.addValue("C", "3");
    EXPECT_TRUE(headers.remove("a"));
    EXPECT_FALSE(headers.remove("A"));
    EXPECT_EQ(at(headers.getValue("C", RFC822ValueList::First)), "3");
    headers.addValue(nullptr, "4");
    EXPECT_EQ(headers.find("c")->size(), 2);
    headers.addValue("A", "again");
    std::string out;
    headers.print(out);
    EXPECT_EQ(out, "B: 2\r\nC: 3\r\nC: 4\r\nA: again\r\n");
}

TEST(RFC822HeaderList, CopiesAreIndependent) {
    RFC822HeaderList headers;
    headers.addValue("A", "1");
    RFC822HeaderList copy = headers;
    copy.addValue("a", "2");
    EXPECT_EQ(headers.find("A")->size(), 1);
    EXPECT_EQ(copy.find("A")->size(), 2);
}
