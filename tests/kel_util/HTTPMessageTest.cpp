#include "kel_util/HTTPMessage.h"
#include "kel_util/HTTPURL.h"

#include <gtest/gtest.h>

#include <string>

using kel_util::HTTPMessage;
using kel_util::HTTPURL;

namespace {

struct ParseCase {
    const char* name;
    std::string text;
    bool parses;
    int status;        // for responses
    std::string body;  // after framing
};

TEST(HTTPMessage, ParseFramesTheBodyByItsHeadersAndNeverTrustsThem) {
    const std::string big(HTTPMessage::kMaxSize, 'x');
    const ParseCase cases[] = {
        {"status with body cut to length", "HTTP/1.1 500 Internal Error\r\nContent-Length: 3\r\n\r\nabcdef", true, 500, "abc"},
        {"one-letter length, lone LF", "HTTP/1.0 200 OK\nl: 2\n\nhi", true, 200, "hi"},
        {"no length: the rest is the body", "HTTP/1.1 200 OK\r\nServer: x\r\n\r\nall of it", true, 200, "all of it"},
        {"status without reason", "HTTP/1.1 204\r\n\r\n", true, 204, ""},
        {"length beyond the bytes", "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nshort", false, 0, ""},
        {"signed length", "HTTP/1.1 200 OK\r\nContent-Length: -1\r\n\r\n", false, 0, ""},
        {"length with trailing garbage", "HTTP/1.1 200 OK\r\nContent-Length: 3x\r\n\r\nabc", false, 0, ""},
        {"length that overflows", "HTTP/1.1 200 OK\r\nContent-Length: 99999999999999999999\r\n\r\n", false, 0, ""},
        {"two different lengths", "HTTP/1.1 200 OK\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\nab", false, 0, ""},
        {"chunked decoded, extension and trailer skipped",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n4;x=y\r\nWiki\r\n5\r\npedia\r\n0\r\nT: v\r\n\r\n", true, 200,
         "Wikipedia"},
        {"chunked wins over length",
         "HTTP/1.1 200 OK\r\nContent-Length: 1\r\nTransfer-Encoding: Chunked\r\n\r\n2\r\nok\r\n0\r\n\r\n", true, 200, "ok"},
        {"chunk without its end", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nab", false, 0, ""},
        {"chunk size not hex", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n", false, 0, ""},
        {"chunk data longer than its size", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n1\r\nabc\r\n0\r\n\r\n",
         false, 0, ""},
        {"other coding refused", "HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip\r\n\r\nxx", false, 0, ""},
        {"status code not a number", "HTTP/1.1 2x0 OK\r\n\r\n", false, 0, ""},
        {"no empty line", "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n", false, 0, ""},
        {"header without colon", "HTTP/1.1 200 OK\r\nbroken\r\n\r\n", false, 0, ""},
        {"above the cap", "HTTP/1.1 200 OK\r\n\r\n" + big, false, 0, ""},
    };
    for (const ParseCase& c : cases) {
        SCOPED_TRACE(c.name);
        HTTPMessage message;
        ASSERT_EQ(message.parse(c.text), c.parses);
        if (!c.parses) continue;
        EXPECT_FALSE(message.isRequest);
        EXPECT_EQ(message.statusCode, c.status);
        EXPECT_EQ(std::string(message.body.getData(), message.body.getLength()), c.body);
    }
}

TEST(HTTPMessage, SSDPRequestAndAnswerKeepTheirHeadersWithoutCase) {
    HTTPMessage search;
    ASSERT_TRUE(search.parse("M-SEARCH * HTTP/1.1\r\nHOST: 239.255.255.250:1900\r\nMAN: \"ssdp:discover\"\r\nMX: 2\r\n"
                             "ST: urn:schemas-upnp-org:service:WANIPConnection:1\r\n\r\n"));
    EXPECT_TRUE(search.isRequest);
    EXPECT_EQ(search.method, "M-SEARCH");
    EXPECT_EQ(search.requestURI, "*");
    EXPECT_EQ(*search.headers.getValue("st", kel_util::RFC822ValueList::First),
              "urn:schemas-upnp-org:service:WANIPConnection:1");

    HTTPMessage answer;
    ASSERT_TRUE(answer.parse("HTTP/1.1 200 OK\r\nCACHE-CONTROL: max-age=120\r\nLOCATION: http://10.0.0.1:5000/rootDesc.xml\r\n"
                             "c: text/xml\r\n\r\n"));
    EXPECT_EQ(*answer.headers.getValue("Location", kel_util::RFC822ValueList::First), "http://10.0.0.1:5000/rootDesc.xml");
    EXPECT_EQ(answer.contentType, "text/xml");
    EXPECT_FALSE(answer.parse("M-SEARCH *\r\n\r\n"));
}

TEST(HTTPURL, SplitAndResolve) {
    const auto url = HTTPURL::split("http://192.168.1.1:49152/desc/root.xml");
    ASSERT_TRUE(url);
    EXPECT_EQ(url->scheme, "http");
    EXPECT_EQ(url->host, "192.168.1.1");
    EXPECT_EQ(url->port, 49152);
    EXPECT_EQ(url->path, "/desc/root.xml");

    const auto noPort = HTTPURL::split("http://gateway/x");
    ASSERT_TRUE(noPort);
    EXPECT_EQ(noPort->port, 0);
    const auto v6 = HTTPURL::split("http://[fe80::1]:80/");
    ASSERT_TRUE(v6);
    EXPECT_EQ(v6->host, "fe80::1");

    for (const char* bad : {"gateway/x", "http://gateway", "http://gateway:/x", "http://gateway:99999/x",
                            "http://:80/x", "http://[fe80::1/x"}) {
        EXPECT_FALSE(HTTPURL::split(bad)) << bad;
    }

    EXPECT_EQ(url->resolve("/ctl/IPConn")->path, "/ctl/IPConn");
    EXPECT_EQ(url->resolve("ctl/IPConn")->path, "/desc/ctl/IPConn");
    const auto absolute = url->resolve("http://192.168.1.1:5431/uuid/ctl");
    ASSERT_TRUE(absolute);
    EXPECT_EQ(absolute->port, 5431);
    EXPECT_EQ(absolute->path, "/uuid/ctl");
    EXPECT_FALSE(url->resolve(""));
}

}  // namespace
