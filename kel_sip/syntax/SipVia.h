// One element of a Via header (RFC 3261 section 20.42) with the RFC 3581 rport parameter.
#pragma once

#include <string>

#include "kel_sip/syntax/SipGenericField.h"
#include "kel_sip/syntax/SipHostPort.h"

namespace kel_sip {

class SipVia : public SipGenericField {
public:
    SipVia() = default;
    SipVia(std::string transport, SipHostPort sentBy, std::string branch = {})
        : transport_(std::move(transport)), sentBy_(std::move(sentBy)), branch_(std::move(branch)) {}

    // Protocol name and version do not count: they start as "SIP" and "2.0".
    bool empty() const override;
    void clear() override;
    // "SIP / 2.0 / UDP host:port;params": "no via" without the first "/", "no protocol version"
    // without the second, "no transport" when no LWS follows the transport, "no sentby" when
    // the sent-by is missing. ttl (0..255), maddr, received, branch, rport (0..65535; bare or
    // empty is 0) and alias are kept apart. Wrapper "invalid via".
    void parse(const char* data, int length, bool clearFirst) override;
    // Nothing unless protocol, version, transport and sent-by are all set. ";ttl=" when present
    // (0 too), ";rport" when 0, ";rport=" when above 0, ";alias" when flagged, then the parameters.
    void print(std::string& out) const override;
    bool takeParameter(std::string_view name, std::string_view value) override;

    // The Via comparison of transaction matching (RFC 3261 section 17.2.3): protocol, version,
    // transport, maddr, received and branch equal without case; sent-by by SipHostPort::equals
    // with the UDP default port; ttl, rport and alias equal; and every generic parameter of
    // other present here with an equal value. Generic parameters only this Via has are ignored,
    // so the comparison is not symmetric.
    bool equals(const SipVia& other) const;

    const std::string& getProtocol() const { return protocol_; }
    void setProtocol(std::string protocol) { protocol_ = std::move(protocol); }
    const std::string& getVersion() const { return version_; }
    void setVersion(std::string version) { version_ = std::move(version); }
    const std::string& getTransport() const { return transport_; }
    void setTransport(std::string transport) { transport_ = std::move(transport); }
    const SipHostPort& getSentBy() const { return sentBy_; }
    SipHostPort& getSentBy() { return sentBy_; }
    void setSentBy(SipHostPort sentBy) { sentBy_ = std::move(sentBy); }
    // -1 when absent.
    int getTtl() const { return ttl_; }
    void setTtl(int ttl) { ttl_ = ttl; }
    const std::string& getMaddr() const { return maddr_; }
    void setMaddr(std::string maddr) { maddr_ = std::move(maddr); }
    const std::string& getReceived() const { return received_; }
    void setReceived(std::string received) { received_ = std::move(received); }
    const std::string& getBranch() const { return branch_; }
    void setBranch(std::string branch) { branch_ = std::move(branch); }
    // -1 absent, 0 present without a value (a request for rport), above 0 the port.
    int getRport() const { return rport_; }
    void setRport(int rport) { rport_ = rport; }
    bool isAlias() const { return alias_; }
    void setAlias(bool alias) { alias_ = alias; }

private:
    std::string protocol_ = "SIP";
    std::string version_ = "2.0";
    std::string transport_;
    SipHostPort sentBy_;
    int ttl_ = -1;
    std::string maddr_;
    std::string received_;
    std::string branch_;
    int rport_ = -1;
    bool alias_ = false;
};

}  // namespace kel_sip
