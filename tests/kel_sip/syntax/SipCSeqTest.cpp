#include "kel_sip/syntax/SipCSeq.h"

#include <gtest/gtest.h>

#include <string>

#include "HeaderTestUtil.h"
#include "kel_sip/syntax/SipMethod.h"
#include "kel_sip/syntax/SipRAck.h"

using header_test::failure;
using header_test::parsed;
using header_test::reprinted;
using kel_sip::SipCSeq;
using kel_sip::SipRAck;
namespace SipMethod = kel_sip::SipMethod;

TEST(SipCSeq, KnownMethodsAreKeptByKindAndPrintedByTheirTableName) {
    const SipCSeq cseq = parsed<SipCSeq>("4711 invite");
    EXPECT_EQ(cseq.getNumber(), 4711);
    EXPECT_EQ(cseq.getMethodKind(), SipMethod::Invite);
    EXPECT_EQ(cseq.getMethodName(), "INVITE");
    EXPECT_EQ(cseq.toString(), "4711 INVITE");
    EXPECT_EQ(cseq, SipCSeq(4711, SipMethod::Invite));
}

TEST(SipCSeq, OtherMethodsKeepTheirNameAsReceived) {
    const SipCSeq cseq = parsed<SipCSeq>("2 Frob");
    EXPECT_EQ(cseq.getMethodKind(), SipMethod::Other);
    EXPECT_EQ(cseq.getMethodName(), "Frob");
    EXPECT_EQ(cseq.toString(), "2 Frob");
}

TEST(SipCSeq, FoldedLwsSeparatesNumberAndMethod) {
    EXPECT_EQ(reprinted<SipCSeq>("7\r\n\tBYE \t"), "7 BYE");
}

TEST(SipCSeq, SettingAKnownMethodDropsAStoredName) {
    SipCSeq cseq(1, SipMethod::Other);
    cseq.setMethod(std::string_view("X-OWN"));
    EXPECT_EQ(cseq.getMethodName(), "X-OWN");
    cseq.setMethod(SipMethod::Ack);
    EXPECT_EQ(cseq.toString(), "1 ACK");
    cseq.setMethod(SipMethod::Other);
    EXPECT_EQ(cseq.getMethodName(), "");
}

TEST(SipCSeq, NumberMustBeDigitsBelowTwoToThe31) {
    EXPECT_EQ(parsed<SipCSeq>("2147483647 ACK").getNumber(), 2147483647);
    EXPECT_EQ(parsed<SipCSeq>("0 ACK").getNumber(), 0);
    for (const char* text : {"2147483648 ACK", "-1 ACK", "+1 ACK", "1x ACK", "99999999999999999999999 ACK"}) {
        EXPECT_EQ(failure<SipCSeq>(text, "1 INVITE"), "(0) invalid cseq, invalid cseq number") << text;
    }
}

TEST(SipCSeq, NumberWithoutFollowingLwsFails) {
    EXPECT_EQ(failure<SipCSeq>("4711", "1 INVITE"), "(0) invalid cseq, no cseq");
    EXPECT_EQ(failure<SipCSeq>("", "1 INVITE"), "(0) invalid cseq, no cseq");
}

TEST(SipRAck, ParsesResponseNumberAndCSeq) {
    const SipRAck rack = parsed<SipRAck>("776656 1 INVITE");
    EXPECT_EQ(rack.getResponseNumber(), 776656);
    EXPECT_EQ(rack.getCSeq(), SipCSeq(1, SipMethod::Invite));
    EXPECT_EQ(rack.toString(), "776656 1 INVITE");
}

TEST(SipRAck, ResponseNumberTakesTheWhole32BitRange) {
    EXPECT_EQ(parsed<SipRAck>("4294967295 1 INVITE").getResponseNumber(), 4294967295);
    EXPECT_EQ(failure<SipRAck>("4294967296 1 INVITE", "1 1 INVITE"), "(0) invalid RAck, invalid RAck number");
    EXPECT_EQ(failure<SipRAck>("-5 1 INVITE", "1 1 INVITE"), "(0) invalid RAck, invalid RAck number");
}

TEST(SipRAck, ErrorsOfTheCSeqPartReadOutsideIn) {
    EXPECT_EQ(failure<SipRAck>("5", "1 1 INVITE"), "(0) invalid RAck, no RAck");
    EXPECT_EQ(failure<SipRAck>("5 1", "1 1 INVITE"), "(0) invalid RAck, invalid cseq, no cseq");
    EXPECT_EQ(failure<SipRAck>("5 x INVITE", "1 1 INVITE"), "(0) invalid RAck, invalid cseq, invalid cseq number");
}
