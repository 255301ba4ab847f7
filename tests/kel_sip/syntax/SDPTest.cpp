#include "kel_sip/syntax/SDP.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <sstream>
#include <string>

using kel_sip::PreconditionDescription;
using kel_sip::PreconditionDirection;
using kel_sip::PreconditionStrength;
using kel_sip::SDP;
using kel_sip::SDPMediaDescription;
using kel_sip::SDPRTPMap;
using kel_sip::SDPTime;

namespace {

std::string readData(const std::string& name) {
    std::ifstream file(std::string(TESSALY_TEST_DATA_DIR) + "/" + name, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

std::string withCrlf(const std::string& text) {
    std::string out;
    for (const char c : text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

bool parse(SDP& sdp, const std::string& text) { return sdp.parse(text.data(), static_cast<int>(text.size())); }

const std::string minimalHead = "v=0\r\no=- 1 1 IN IP4 10.0.0.1\r\ns=-\r\nt=0 0\r\n";

}  // namespace

TEST(SDPCorpus, OffersOfRealPeersPrintBackLineForLine) {
    for (const char* name : {"sipp-offer.sdp", "telephone-event-offer.sdp", "precondition-offer.sdp"}) {
        const std::string text = readData(name);
        ASSERT_FALSE(text.empty()) << name;
        SDP sdp;
        // Bare LF line ends are accepted as well; printing always ends lines with CR LF.
        ASSERT_TRUE(parse(sdp, text)) << name;
        EXPECT_EQ(sdp.toString(), withCrlf(text)) << name;
        ASSERT_TRUE(parse(sdp, withCrlf(text))) << name;
        EXPECT_EQ(sdp.toString(), withCrlf(text)) << name;
    }
}

TEST(SDPCorpus, OfferFieldsAreRead) {
    SDP sdp;
    ASSERT_TRUE(parse(sdp, readData("telephone-event-offer.sdp")));
    EXPECT_EQ(sdp.origin.sessionId, 4611731400430051336u);
    EXPECT_EQ(sdp.origin.sessionVersion, 2u);
    EXPECT_EQ(sdp.origin.address, "192.168.1.20");
    EXPECT_EQ(sdp.connection.address, "192.168.1.20");
    ASSERT_EQ(sdp.attributes.size(), 1u);
    EXPECT_EQ(sdp.attributes[0].value, "softphone 1.0.0");
    ASSERT_EQ(sdp.media.size(), 2u);
    const SDPMediaDescription& audio = sdp.media[0];
    EXPECT_EQ(audio.media.port, 10380);
    EXPECT_EQ(audio.media.formats, (std::vector<int>{96, 0, 8, 101}));
    ASSERT_EQ(audio.bandwidth.size(), 1u);
    EXPECT_EQ(audio.bandwidth[0].name, "AS");
    EXPECT_EQ(audio.bandwidth[0].value, "64");
    EXPECT_EQ(audio.attributes.size(), 11u);
    EXPECT_EQ(audio.telephoneEventPayload(), 101);
    EXPECT_EQ(sdp.media[1].telephoneEventPayload(), -1);
    EXPECT_EQ(sdp.findMedia("video", nullptr), &sdp.media[1]);
    EXPECT_EQ(sdp.findMedia(nullptr, "RTP/AVP"), &sdp.media[0]);
    EXPECT_EQ(sdp.findMedia("audio", "RTP/SAVP"), nullptr);
    EXPECT_EQ(sdp.findMedia("Audio", nullptr), nullptr);
}

TEST(SDPParse, RejectsBodiesThatDoNotStartWithVersion) {
    SDP sdp;
    EXPECT_FALSE(parse(sdp, "o=- 1 1 IN IP4 10.0.0.1\r\nv=0\r\n"));
    EXPECT_FALSE(parse(sdp, "v0\r\n"));
    EXPECT_FALSE(parse(sdp, "v="));
    EXPECT_FALSE(parse(sdp, "v=x\r\n"));
    EXPECT_FALSE(parse(sdp, ""));
    EXPECT_TRUE(parse(sdp, "V=0"));
}

TEST(SDPParse, FailureLeavesTheModelCleared) {
    SDP sdp;
    ASSERT_TRUE(parse(sdp, readData("sipp-offer.sdp")));
    EXPECT_FALSE(parse(sdp, minimalHead + "m=audio 6000 RTP/AVP 0\r\na=rtpmap:\r\n"));
    EXPECT_TRUE(sdp.media.empty());
    EXPECT_TRUE(sdp.times.empty());
    EXPECT_TRUE(sdp.origin.userName.empty());
    EXPECT_EQ(sdp.toString(), SDP().toString());
}

TEST(SDPParse, EmptyOrShortLinesFailEvenAtTheEnd) {
    SDP sdp;
    EXPECT_FALSE(parse(sdp, minimalHead + "\r\n"));
    EXPECT_FALSE(parse(sdp, minimalHead + "\r\na=x\r\n"));
    EXPECT_FALSE(parse(sdp, minimalHead + "a"));
    EXPECT_FALSE(parse(sdp, minimalHead + "ab=c\r\n"));
    EXPECT_TRUE(parse(sdp, minimalHead + "a=x"));
}

TEST(SDPParse, UnknownAndTimeZoneLinesAreSkipped) {
    SDP sdp;
    ASSERT_TRUE(parse(sdp, minimalHead + "x=whatever\r\nz=2882844526 -1h\r\na=recvonly\r\n"));
    ASSERT_EQ(sdp.attributes.size(), 1u);
    EXPECT_EQ(sdp.attributes[0].name, "recvonly");
    EXPECT_FALSE(sdp.timeZones.isSet());
    EXPECT_EQ(sdp.toString(), minimalHead + "a=recvonly\r\n");
}

TEST(SDPParse, MalformedFieldsFailTheParse) {
    const char* const badLines[] = {
        "o=- 1 1 IN IP4\r\n",                        // no address
        "o=- 1x 1 IN IP4 10.0.0.1\r\n",              // session id not decimal
        "o=- 99999999999999999999 1 IN IP4 h\r\n",   // session id beyond 64 bits
        "o=- 18446744073709551616 1 IN IP4 h\r\n",   // 2**64
        "o=- 1 1+ IN IP4 h\r\n",                     // version not decimal
        "c=IN IP4\r\n",                              // no address
        "b=AS:\r\n",                                 // colon and nothing after it
        "a=sendrecv:\r\n",                           // likewise
        "t=0\r\n",                                   // no stop time
        "t=0 -1\r\n",                                // negative time
        "m=audio 6000 RTP/AVP\r\n",                  // no format
        "m=audio 70000 RTP/AVP 0\r\n",               // port beyond 16 bits
        "m=audio 6000/0 RTP/AVP 0\r\n",              // no ports
        "m=audio 6000 RTP/AVP 0 128\r\n",            // not an RTP payload type
        "m=audio 6000 RTP/AVP 0  8\r\n",             // empty format between two blanks
        "m=audio -1 RTP/AVP 0\r\n",                  // negative port
        "m=audio 6000 RTP/AVP 0\r\nc=IN\r\n",         // bad line inside the media
        "t=0 0\r\nr=7d 1h\r\n",                      // repeat without an offset
        "t=0 0\r\nr=7w 1h 0\r\n",                    // unknown unit
    };
    for (const char* line : badLines) {
        SDP sdp;
        EXPECT_FALSE(parse(sdp, minimalHead + line)) << line;
    }
}

TEST(SDPParse, NumbersAtTheEdgeOfTheirRangeAreKept) {
    SDP sdp;
    ASSERT_TRUE(parse(sdp, "v=0\r\no=- 9223372036854775807 0 IN IP4 h\r\ns=-\r\nt=4294967296 0\r\n"
                           "m=audio 65535/65535 RTP/AVP 127\r\n"));
    EXPECT_EQ(sdp.origin.sessionId, 9223372036854775807u);
    EXPECT_EQ(sdp.times.at(0).time.start, 4294967296u);
    EXPECT_EQ(sdp.media.at(0).media.port, 65535);
    EXPECT_EQ(sdp.media.at(0).media.numberOfPorts, 65535);
    EXPECT_EQ(sdp.media.at(0).media.formats, std::vector<int>{127});
    // An NTP timestamp as session id and version uses all 64 bits.
    ASSERT_TRUE(parse(sdp, "v=0\r\no=- 18446744073709551615 16045481011765428224 IN IP4 h\r\ns=-\r\n"));
    EXPECT_EQ(sdp.origin.sessionId, UINT64_MAX);
    EXPECT_EQ(sdp.toString(), "v=0\r\no=- 18446744073709551615 16045481011765428224 IN IP4 h\r\ns=-\r\n");
}

TEST(SDPParse, FormatsOfOtherProtocolsThanRtpAreTokens) {
    // A gateway offering fax beside audio, and a chat session: the formats are no numbers.
    const std::string text = minimalHead +
                             "m=audio 6000 RTP/AVP 0 8\r\n"
                             "m=image 6002 udptl t38\r\na=T38FaxVersion:0\r\n"
                             "m=message 7654 TCP/MSRP *\r\n";
    SDP sdp;
    ASSERT_TRUE(parse(sdp, text));
    ASSERT_EQ(sdp.media.size(), 3u);
    EXPECT_EQ(sdp.media[0].media.formats, (std::vector<int>{0, 8}));
    EXPECT_EQ(sdp.media[1].media.formatTokens, std::vector<std::string>{"t38"});
    EXPECT_TRUE(sdp.media[1].media.formats.empty());
    EXPECT_EQ(sdp.media[2].media.formatTokens, std::vector<std::string>{"*"});
    EXPECT_EQ(sdp.toString(), text);
    // Numbers alone stay payload types whatever the protocol.
    ASSERT_TRUE(parse(sdp, minimalHead + "m=audio 6000 udp 0 8\r\n"));
    EXPECT_EQ(sdp.media[0].media.formats, (std::vector<int>{0, 8}));
    // An RTP profile still takes payload type numbers only, and a token stays a token.
    for (const char* line : {"m=audio 6000 RTP/SAVP t38\r\n", "m=image 6002 udptl t:38\r\n", "m=image 6002 udptl\r\n"}) {
        EXPECT_FALSE(parse(sdp, minimalHead + line)) << line;
    }
}

TEST(SDPPrint, BandwidthAndAttributesPrintBackUnchanged) {
    // Several b= lines are kept in their order: AS with the RTCP limits RS and RR.
    const std::string text = minimalHead + "m=audio 6000 RTP/AVP 0\r\nb=AS:64\r\nb=RS:0\r\nb=RR:0\r\n"
                                           "a=sendrecv\r\na=ptime:20\r\n";
    SDP sdp;
    ASSERT_TRUE(parse(sdp, text));
    const SDPMediaDescription& audio = sdp.media.at(0);
    EXPECT_TRUE(audio.attributes.at(0).value.empty());
    EXPECT_EQ(audio.attributes.at(1).value, "20");
    EXPECT_EQ(sdp.toString(), text);
}

TEST(SDPPrint, PortCountIsPrintedOnlyAboveOne) {
    SDP sdp;
    ASSERT_TRUE(parse(sdp, minimalHead + "m=audio 6000/2 RTP/AVP 0\r\n"));
    EXPECT_EQ(sdp.media.at(0).media.numberOfPorts, 2);
    EXPECT_EQ(sdp.toString(), minimalHead + "m=audio 6000/2 RTP/AVP 0\r\n");
    ASSERT_TRUE(parse(sdp, minimalHead + "m=audio 6000/1 RTP/AVP 0\r\n"));
    EXPECT_EQ(sdp.media.at(0).media.numberOfPorts, 1);
    EXPECT_EQ(sdp.toString(), minimalHead + "m=audio 6000 RTP/AVP 0\r\n");
}

TEST(SDPPrint, RepeatTimesAreReadWithUnitsAndPrintedInSeconds) {
    SDP sdp;
    // A second r= line for the same t= line is a second repeat time, not dropped.
    ASSERT_TRUE(parse(sdp, "v=0\r\no=- 1 1 IN IP4 h\r\ns=-\r\nt=3034423619 3042462419\r\nr=7d 1h 0 25h\r\n"
                           "r=7d 2h 3d\r\nt=0 0\r\n"));
    const auto& repeats = sdp.times.at(0).repeatTimes;
    ASSERT_EQ(repeats.size(), 2u);
    EXPECT_EQ(repeats[0].interval, 604800u);
    EXPECT_EQ(repeats[0].duration, 3600u);
    EXPECT_EQ(repeats[0].offsets, (std::vector<std::uint64_t>{0, 90000}));
    EXPECT_EQ(repeats[1].offsets, (std::vector<std::uint64_t>{259200}));
    EXPECT_TRUE(sdp.times.at(1).repeatTimes.empty());
    EXPECT_EQ(sdp.toString(), "v=0\r\no=- 1 1 IN IP4 h\r\ns=-\r\nt=3034423619 3042462419\r\nr=604800 3600 0 90000\r\n"
                              "r=604800 7200 259200\r\nt=0 0\r\n");
}

TEST(SDPPrint, SessionLinesFollowRfc4566Order) {
    SDP sdp;
    sdp.origin.userName = "-";
    sdp.origin.networkType = "IN";
    sdp.origin.addressType = "IP4";
    sdp.origin.address = "h";
    sdp.uri = "http://example.com/";
    sdp.phone = "+1 555";
    sdp.email = "a@example.com";
    sdp.information = "info";
    sdp.key.name = "prompt";
    sdp.attributes.emplace_back("recvonly", "");
    sdp.times.emplace_back();
    sdp.timeZones.zones.push_back({2882844526u, -3600});
    sdp.timeZones.zones.push_back({2898848070u, 0});
    sdp.connection.networkType = "IN";
    sdp.bandwidth = {{"CT", "128"}};
    EXPECT_EQ(sdp.toString(),
              "v=0\r\no=- 0 0 IN IP4 h\r\ns=\r\ni=info\r\nu=http://example.com/\r\ne=a@example.com\r\n"
              "p=+1 555\r\nc=IN  \r\nb=CT:128\r\nt=0 0\r\nz=2882844526 -3600 2898848070 0\r\n"
              "k=prompt\r\na=recvonly\r\n");
}

TEST(SDPParse, KeyLineDoesNotSwallowTheNextLine) {
    SDP sdp;
    ASSERT_TRUE(parse(sdp, minimalHead + "k=prompt\r\na=one\r\nm=audio 1 RTP/AVP 0\r\nk=base64:Zm9v\r\na=two\r\n"));
    EXPECT_EQ(sdp.key.name, "prompt");
    ASSERT_EQ(sdp.attributes.size(), 1u);
    EXPECT_EQ(sdp.attributes[0].name, "one");
    const SDPMediaDescription& audio = sdp.media.at(0);
    EXPECT_EQ(audio.key.name, "base64");
    EXPECT_EQ(audio.key.value, "Zm9v");
    ASSERT_EQ(audio.attributes.size(), 1u);
    EXPECT_EQ(audio.attributes[0].name, "two");
}

TEST(SDPParse, LineOfAnotherTypeEndsTheMediaDescription) {
    SDP sdp;
    ASSERT_TRUE(parse(sdp, minimalHead + "m=audio 1 RTP/AVP 0\r\na=one\r\nt=1 2\r\na=two\r\nm=video 2 RTP/AVP 31\r\n"));
    ASSERT_EQ(sdp.media.size(), 2u);
    EXPECT_EQ(sdp.media[0].attributes.size(), 1u);
    ASSERT_EQ(sdp.times.size(), 2u);
    EXPECT_EQ(sdp.times[1].time.stop, 2u);
    // "a=two" follows the "t=" line, so it belongs to the session.
    ASSERT_EQ(sdp.attributes.size(), 1u);
    EXPECT_EQ(sdp.attributes[0].name, "two");
}

TEST(SDPPreconditions, StatusLinesReplaceTheReceivedOnes) {
    SDP sdp;
    ASSERT_TRUE(parse(sdp, readData("precondition-offer.sdp")));
    SDPMediaDescription& audio = sdp.media.at(0);
    audio.preconditions = true;
    PreconditionDescription status;
    status.strength[PreconditionDescription::Local] = PreconditionStrength::Mandatory;
    status.desired[PreconditionDescription::Local] = PreconditionDirection::SendRecv;
    status.current[PreconditionDescription::Local] = PreconditionDirection::None;
    audio.preconditionDescriptions.push_back(status);
    EXPECT_EQ(sdp.toString(),
              "v=0\r\no=alice 2890844526 2890844526 IN IP4 192.0.2.1\r\ns=Call with preconditions\r\n"
              "c=IN IP4 192.0.2.1\r\nt=0 0\r\nm=audio 49170 RTP/AVP 0 101\r\na=rtpmap:0 PCMU/8000\r\n"
              "a=rtpmap:101 telephone-event/8000\r\na=fmtp:101 0-15\r\n"
              "a=des:qos mandatory local sendrecv\r\na=curr:qos local none\r\n");
}

TEST(SDPPreconditions, LinesComeInDesiredCurrentConfirmedOrderPerStatusType) {
    SDPMediaDescription audio;
    audio.media.mediaType = "audio";
    audio.media.protocol = "RTP/AVP";
    audio.addAttribute("des", "kept while preconditions are off");
    PreconditionDescription status;
    status.strength = {PreconditionStrength::Optional, PreconditionStrength::Failure, PreconditionStrength::Unknown};
    status.desired = {PreconditionDirection::Send, PreconditionDirection::Recv, PreconditionDirection::None};
    status.current = {PreconditionDirection::Absent, PreconditionDirection::SendRecv, PreconditionDirection::Absent};
    status.confirmed = {PreconditionDirection::Absent, PreconditionDirection::Absent, PreconditionDirection::Recv};
    audio.preconditionDescriptions.push_back(status);
    std::string out;
    audio.print(out);
    EXPECT_EQ(out, "m=audio 0 RTP/AVP\r\na=des:kept while preconditions are off\r\n");
    audio.preconditions = true;
    out.clear();
    audio.print(out);
    EXPECT_EQ(out,
              "m=audio 0 RTP/AVP\r\n"
              "a=des:qos optional local send\r\na=des:qos failure remote recv\r\na=des:qos unknown e2e none\r\n"
              "a=curr:qos remote sendrecv\r\na=conf:qos e2e recv\r\n");
}

TEST(SDPRTPMap, ReadsAndWritesEveryPart) {
    SDPRTPMap map;
    ASSERT_TRUE(map.parse("96 opus/48000/2"));
    EXPECT_EQ(map.payloadType, 96);
    EXPECT_EQ(map.encodingName, "opus");
    EXPECT_EQ(map.clockRate, 48000);
    EXPECT_TRUE(map.hasParameters);
    EXPECT_EQ(map.encodingParameters, "2");
    ASSERT_TRUE(map.parse("0 PCMU/8000"));
    EXPECT_FALSE(map.hasParameters);
    std::string out;
    map.print(out);
    EXPECT_EQ(out, "0 PCMU/8000");
    for (const char* bad : {"", "0", "0 PCMU", "0 PCMU/", "0 /8000", "0 PCMU/8000/", "128 X/8000", "0 PCMU/0",
                            "x PCMU/8000", "0 PCMU/8k"}) {
        EXPECT_FALSE(map.parse(bad)) << bad;
        EXPECT_EQ(map, SDPRTPMap()) << bad;
    }
}

TEST(SDPMediaDescription, AddRtpMapAppendsFormatAndAttribute) {
    SDPMediaDescription audio;
    audio.addRtpMap(SDPRTPMap(0, "PCMU", 8000));
    audio.addRtpMap(SDPRTPMap(101, "telephone-event", 8000));
    EXPECT_EQ(audio.media.formats, (std::vector<int>{0, 101}));
    ASSERT_EQ(audio.attributes.size(), 2u);
    EXPECT_EQ(audio.attributes[1].name, "rtpmap");
    EXPECT_EQ(audio.attributes[1].value, "101 telephone-event/8000");
    EXPECT_EQ(audio.telephoneEventPayload(), 101);
}

TEST(SDPMediaDescription, TelephoneEventPayloadFollowsTheFormatOrder) {
    SDPMediaDescription audio;
    audio.media.formats = {0, 100, 101};
    audio.addAttribute("rtpmap", "101 telephone-event/8000");
    audio.addAttribute("rtpmap", "100 Telephone-Event/16000");
    EXPECT_EQ(audio.telephoneEventPayload(), 100);
    // An rtpmap for a payload type the media line does not offer does not count.
    audio.media.formats = {0, 102};
    EXPECT_EQ(audio.telephoneEventPayload(), -1);
    audio.media.formats = {0, 101};
    audio.attributes[0].name = "RTPMAP";
    EXPECT_EQ(audio.telephoneEventPayload(), -1);
}

TEST(SDPMediaDescription, EqualityCoversEveryLineButTheOwnPreconditions) {
    SDP sdp;
    ASSERT_TRUE(parse(sdp, readData("telephone-event-offer.sdp")));
    const SDPMediaDescription original = sdp.media.at(0);
    SDPMediaDescription other = original;
    EXPECT_EQ(other, original);
    other.preconditions = true;
    other.preconditionDescriptions.emplace_back();
    EXPECT_EQ(other, original);
    other = original;
    other.attributes.back().value = "x";
    EXPECT_NE(other, original);
    other = original;
    std::swap(other.attributes[0], other.attributes[1]);
    EXPECT_NE(other, original);
    other = original;
    other.media.port = 1;
    EXPECT_NE(other, original);
    other = original;
    other.connection.address = "10.0.0.2";
    EXPECT_NE(other, original);
    other = original;
    other.bandwidth.emplace_back("TIAS", "64000");
    EXPECT_NE(other, original);
    other = original;
    other.key.name = "prompt";
    EXPECT_NE(other, original);
    other = original;
    other.information = "i";
    EXPECT_NE(other, original);
}

TEST(SDPTime, SecondValueUnits) {
    EXPECT_EQ(SDPTime::getSecondValue("90"), 90u);
    EXPECT_EQ(SDPTime::getSecondValue("2m"), 120u);
    EXPECT_EQ(SDPTime::getSecondValue("25h"), 90000u);
    EXPECT_EQ(SDPTime::getSecondValue("7d"), 604800u);
    EXPECT_EQ(SDPTime::getSecondValue("4294967295d"), 4294967295ull * 86400);
    EXPECT_EQ(SDPTime::getSecondValue(""), 0u);
    // "96178339h" is printed as 346242020400 seconds, which must read back.
    EXPECT_EQ(SDPTime::getSecondValue("346242020400"), 96178339ull * 3600);
    EXPECT_EQ(SDPTime::getSecondValue("371085174288000"), 4294967295ull * 86400);
    for (const char* bad : {"d", "1s", "-1h", "4294967296d", "371085174288001", "103079215081h", "1 h", "h1"}) {
        EXPECT_FALSE(SDPTime::getSecondValue(bad)) << bad;
    }
}

// Any body that parses must print to a text that parses again into the same printed form,
// so that what the phone forwards or answers with is never a body it could not read itself.
TEST(SDPRobustness, MutatedOffersEitherFailOrPrintStably) {
    std::mt19937 random(20261208);
    const char alphabet[] = " \t/:=\r\n0123456789amvtrcbkiosx-\xff";
    std::vector<std::string> seeds;
    for (const char* name : {"sipp-offer.sdp", "telephone-event-offer.sdp", "precondition-offer.sdp"}) {
        seeds.push_back(withCrlf(readData(name)));
    }
    seeds.push_back(minimalHead + "r=7d 1h 0 25h\r\nk=prompt\r\nm=audio 6000/2 RTP/AVP 0\r\nb=AS:64\r\n");
    int parsed = 0;
    for (int round = 0; round < 4000; ++round) {
        std::string text = seeds[static_cast<std::size_t>(round) % seeds.size()];
        for (int edits = 1 + static_cast<int>(random() % 3); edits > 0 && !text.empty(); --edits) {
            const std::size_t at = random() % text.size();
            switch (random() % 3) {
                case 0: text.erase(at, 1); break;
                case 1: text.insert(at, 1, alphabet[random() % (sizeof alphabet - 1)]); break;
                default: text[at] = alphabet[random() % (sizeof alphabet - 1)]; break;
            }
        }
        SDP sdp;
        if (!parse(sdp, text)) continue;
        ++parsed;
        const std::string printed = sdp.toString();
        SDP again;
        ASSERT_TRUE(parse(again, printed)) << "input:\n" << text << "\nprinted:\n" << printed;
        ASSERT_EQ(again.toString(), printed) << "input:\n" << text;
    }
    // The mutations must leave enough bodies valid for the check to mean something.
    EXPECT_GT(parsed, 1000);
}

TEST(SDPPrint, BodyWithoutOriginPrintsNoEmptyOriginLine) {
    SDP sdp;
    ASSERT_TRUE(parse(sdp, "v=0\r\ns=-\r\nt=0 0\r\n"));
    EXPECT_EQ(sdp.toString(), "v=0\r\ns=-\r\nt=0 0\r\n");
}
