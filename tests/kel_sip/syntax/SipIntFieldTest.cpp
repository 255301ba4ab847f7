#include "kel_sip/syntax/SipIntField.h"

#include <gtest/gtest.h>

#include <string>

#include "HeaderTestUtil.h"
#include "kel_sip/syntax/SipSessionExpires.h"

using header_test::failure;
using header_test::parsed;
using header_test::reprinted;
using kel_sip::SipIntField;
using kel_sip::SipSessionExpires;

TEST(SipIntField, ParsesTheValueAndKeepsParametersGeneric) {
    const SipIntField field = parsed<SipIntField>(" 3600 ;a=1; b");
    EXPECT_EQ(field.getValue(), 3600);
    ASSERT_NE(field.findParameter("a"), nullptr);
    EXPECT_EQ(field.findParameter("a")->value, "1");
    EXPECT_EQ(field.toString(), "3600;a=1;b");
    EXPECT_EQ(reprinted<SipIntField>("0"), "0");
}

TEST(SipIntField, ValueMustBeDigitsWithin32Bits) {
    EXPECT_EQ(parsed<SipIntField>("4294967295").getValue(), 4294967295);
    for (const char* text : {"4294967296", "-1", "+5", "3600s", "0x10", "99999999999999999999;a"}) {
        EXPECT_EQ(failure<SipIntField>(text, "1;a"), "(0) invalid int field, invalid value") << text;
    }
}

TEST(SipIntField, MissingValueFails) {
    EXPECT_EQ(failure<SipIntField>("", "1"), "(0) invalid int field, no value");
    EXPECT_EQ(failure<SipIntField>("  ;a=1", "1"), "(0) invalid int field, no value");
}

TEST(SipIntField, BadParameterFailsInsideTheWrapper) {
    EXPECT_EQ(failure<SipIntField>("5;=x", "1"), "(0) invalid int field, no param name");
}

TEST(SipSessionExpires, RefresherIsKeptApartAndPrintedBack) {
    const SipSessionExpires se = parsed<SipSessionExpires>("1800;refresher=uas;x=y");
    EXPECT_EQ(se.getValue(), 1800);
    EXPECT_EQ(se.getRefresher(), SipSessionExpires::RefresherUas);
    EXPECT_EQ(se.findParameter("refresher"), nullptr);
    EXPECT_EQ(se.toString(), "1800;refresher=uas;x=y");
    EXPECT_EQ(reprinted<SipSessionExpires>("90;Refresher=UAC"), "90;refresher=uac");
    EXPECT_EQ(reprinted<SipSessionExpires>("90"), "90");
}

TEST(SipSessionExpires, UnknownRefresherFails) {
    EXPECT_EQ(failure<SipSessionExpires>("1800;refresher=both", "90;refresher=uac"),
              "(0) invalid session expires, unkown refresher");
    EXPECT_EQ(failure<SipSessionExpires>("1800;refresher", "90;refresher=uac"),
              "(0) invalid session expires, unkown refresher");
    EXPECT_EQ(failure<SipSessionExpires>("soon", "90;refresher=uac"), "(0) invalid session expires, invalid value");
}
