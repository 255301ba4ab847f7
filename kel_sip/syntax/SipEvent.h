// The Event header value (RFC 3265 section 7.2.1): an event package and an optional id.
#pragma once

#include <string>

#include "kel_sip/syntax/SipGenericField.h"

namespace kel_sip {

class SipEvent : public SipGenericField {
public:
    SipEvent() = default;
    explicit SipEvent(std::string package, std::string id = {}) : package_(std::move(package)), id_(std::move(id)) {}

    bool empty() const override { return package_.empty() && id_.empty() && SipGenericField::empty(); }
    void clear() override;
    // "package *(;param)", "no event type" when the package is missing; "id" is kept apart.
    // Wrapper "invalid event".
    void parse(const char* data, int length, bool clearFirst) override;
    // The package, ";id=" and the id when set, then the parameters.
    void print(std::string& out) const override;
    bool takeParameter(std::string_view name, std::string_view value) override;

    const std::string& getPackage() const { return package_; }
    void setPackage(std::string package) { package_ = std::move(package); }
    const std::string& getId() const { return id_; }
    void setId(std::string id) { id_ = std::move(id); }

private:
    std::string package_;
    std::string id_;
};

}  // namespace kel_sip
