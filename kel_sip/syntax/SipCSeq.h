// The CSeq header value (RFC 3261 section 20.16): a sequence number and a method.
#pragma once

#include <string>
#include <string_view>

#include "kel_sip/syntax/SipParam.h"

namespace kel_sip {

class SipCSeq : public SipParam {
public:
    SipCSeq() = default;
    SipCSeq(int number, int methodKind) : number_(number), methodKind_(methodKind) {}

    bool empty() const override { return number_ < 0 && methodKind_ < 0 && methodName_.empty(); }
    void clear() override;
    // "number LWS method": the number is 0..2**31-1 ("no cseq" when no LWS follows it); the
    // method is looked up in the method table. Wrapper "invalid cseq".
    void parse(const char* data, int length, bool clearFirst) override;
    // "number method"; nothing while the number is unset.
    void print(std::string& out) const override;

    // -1 when unset.
    int getNumber() const { return number_; }
    void setNumber(int number) { number_ = number; }
    // A SipMethod kind; SipMethod::Other for a method outside the table.
    int getMethodKind() const { return methodKind_; }
    // The table name for a known kind, else the name as received or set.
    std::string_view getMethodName() const;
    // Sets a known kind; the stored name is dropped.
    void setMethod(int methodKind);
    // Sets a method by name: its kind when it is in the table, else the name itself.
    void setMethod(std::string_view methodName);

    bool operator==(const SipCSeq& other) const {
        return number_ == other.number_ && methodKind_ == other.methodKind_ && methodName_ == other.methodName_;
    }

private:
    int number_ = -1;
    int methodKind_ = -1;
    std::string methodName_;  // kept only for a method outside the table
};

}  // namespace kel_sip
