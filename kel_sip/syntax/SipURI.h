// A URI as SIP carries it (RFC 3261 section 19.1): for "sip" and "sips" the user info, host,
// port, URI parameters and headers; for any other scheme the text after the colon, kept opaque.
#pragma once

#include <netinet/in.h>
#include <sys/socket.h>

#include <string>
#include <string_view>
#include <vector>

#include "kel_sip/syntax/SipGenericField.h"
#include "kel_sip/syntax/SipHostPort.h"
#include "kel_sip/syntax/SipUserInfo.h"

namespace kel_sip {

class SipURI : public SipGenericField {
public:
    // The "?" part of a SIP URI: name=value pairs joined by "&", in order.
    class Headers {
    public:
        struct Header {
            std::string name;
            std::string value;
            bool hasValue = false;  // an "=" was written, even with nothing after it
        };

        void add(std::string name, std::string value, bool hasValue);
        bool empty() const { return list_.empty(); }
        size_t size() const { return list_.size(); }
        void clear() { list_.clear(); }
        const Header& operator[](size_t i) const { return list_[i]; }
        std::vector<Header>::const_iterator begin() const { return list_.begin(); }
        std::vector<Header>::const_iterator end() const { return list_.end(); }
        // The same headers in any order, names without case, values exactly, escapes decoded.
        bool equals(const Headers& other) const;
        void unescape();
        // "name[=value]" joined by "&", escaped with the header set when asked.
        void print(std::string& out, bool escape) const;

    private:
        std::vector<Header> list_;
    };

    // Where a request to this URI goes: maddr or host, the port or the transport's default.
    struct Target {
        std::string host;
        int port = 0;
        int transportType = -1;
    };

    bool empty() const override;
    void clear() override;
    // Failures are wrapped in "invalid uri". The user part may hold ";", "?" and "," without
    // brackets: a ";" or "?" is taken as part of it when an "@" follows before a ";" written
    // with LWS around it. The scheme must follow RFC 3986 section 3.1; a SIP URI holds no "<",
    // ">" or '"', its user info no control byte and its parameters no "@"; an opaque
    // part holds no blank, control byte, "<", ">" or '"'.
    void parse(const char* data, int length, bool clearFirst) override;
    void print(std::string& out) const override { print(out, false, false, false); }
    // Prints with percent-escaping of the user info, the parameters and the headers as asked.
    void print(std::string& out, bool escapeUser, bool escapeParams, bool escapeHeaders) const;
    // Decodes the escapes of the user info, the transport and user parameters, the other
    // parameters' names and values and the headers' names and values.
    void unescape();

    // Takes "transport", "user", "method", "maddr", "ttl" (0..255) and "lr" into fields.
    bool takeParameter(std::string_view name, std::string_view value) override;

    // Whether anything follows the host-port when printed.
    bool hasParametersOrHeaders() const;
    // The scheme is "sip" or "sips", compared without case.
    bool isSipUri() const;
    // A scheme, and a host for a SIP URI or a number for "tel"; other schemes are not usable.
    bool isUsable() const;
    // The transport parameter's type when set, else TLS for "sips" and -1 for anything else.
    int transportType() const;

    // URI comparison after RFC 3261 section 19.1.4, with its leniency for parameters: every
    // generic parameter of other must be present here with an equal value, parameters only
    // this URI has are ignored. Other schemes compare their opaque parts exactly.
    bool equals(const SipURI& other) const;

    Target target() const;
    // Resolves target() to a socket address (the first the resolver gives); false when the
    // name does not resolve or the URI has no host. A host name costs a blocking resolver
    // lookup, so call it from a worker, never while holding a list or entry lock.
    bool resolveTarget(sockaddr_storage& address, socklen_t& length) const;

    std::string scheme;
    SipUserInfo userInfo;
    SipHostPort hostPort;
    std::string transportParam;
    std::string userParam;
    std::string methodParam;
    int ttl = -1;  // -1 when absent; ttl=0 is legal and kept (RFC 3261 section 19.1.1)
    std::string maddr;
    bool lr = false;
    Headers uriHeaders;
    std::string opaque;  // everything after "scheme:" for a scheme other than sip and sips

private:
    void parseText(std::string_view text);
    void parseSipPart(std::string_view text);
    void parseHeaders(std::string_view text);
    void printParams(std::string& out, bool escapeParams) const;
};

}  // namespace kel_sip
