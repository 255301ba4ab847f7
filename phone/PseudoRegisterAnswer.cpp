#include "phone/PseudoRegisterAnswer.h"

#include "kel_sip/syntax/SipDate.h"
#include "kel_sip/syntax/SipHeader.h"
#include "kel_sip/syntax/SipIdentifier.h"
#include "kel_sip/syntax/SipIntField.h"
#include "kel_sip/syntax/SipParseException.h"
#include "kel_util/Log.h"

#include <string>
#include <vector>

using kel_sip::SipContact;
using kel_sip::SipHeader;
using kel_sip::SipMessageExt;
using kel_util::logPrint;

namespace {

// Whether the Contact header of request is present; when it is, contacts holds its elements
// and ok tells whether they all parsed.
bool readContacts(const SipMessageExt& request, std::vector<SipContact>& contacts, bool& ok) {
    ok = true;
    if (!request.hasHeader(SipHeader::Contact)) return false;
    ok = request.getContacts(contacts, kel_sip::SipContactOptions{});
    return true;
}

}  // namespace

std::unique_ptr<SipMessageExt> PseudoRegisterAnswer::build(const SipMessageExt& request, int serverTransactionId,
                                                           std::int64_t now) {
    const std::string method(request.getMethodName());
    if (request.to.empty()) {
        logPrint(kel_util::MIN, "PseudoSipRegistrar::onReceiveRequest. no To header, Method=[%s], ServerTransactionID=%d.\n",
                 method.c_str(), serverTransactionId);
    }
    std::vector<SipContact> contacts;
    bool contactsOk = true;
    if (!readContacts(request, contacts, contactsOk)) {
        logPrint(kel_util::DBG, "PseudoSipRegistrar::onReceiveRequest. no contact, Method=[%s], ServerTransactionID=%d.\n",
                 method.c_str(), serverTransactionId);
    } else if (!contactsOk) {
        logPrint(kel_util::MIN, "PseudoSipRegistrar::onReceiveRequest. invalid contact, Method=[%s], ServerTransactionID=%d.\n",
                 method.c_str(), serverTransactionId);
        auto refusal = request.createResponse(400, nullptr, "Invalid Contact", false);
        if (refusal->to.tag.empty()) refusal->to.tag = kel_sip::makeTag();
        return refusal;
    }

    bool removeAll = false;
    bool anyExpires = false;
    std::size_t kept = 0;
    for (const SipContact& contact : contacts) {
        if (contact.wildcard) {
            removeAll = true;
            break;
        }
        std::string text;
        contact.print(text, false);
        logPrint(kel_util::DBG, "PseudoSipRegistrar::onReceiveRequest. get Contact=[%s], Method=[%s], ServerTransactionID=%d.\n",
                 text.c_str(), method.c_str(), serverTransactionId);
        anyExpires = anyExpires || contact.expires >= 0;
        ++kept;
    }
    const std::int64_t expires = anyExpires ? -1 : expiresToEcho(request, serverTransactionId);

    auto response = request.createResponse(200, nullptr, false);
    if (response->to.tag.empty()) response->to.tag = kel_sip::makeTag();
    if (removeAll) {
        response->addTypedHeader(SipHeader::Expires, kel_sip::SipIntField(0));
    } else {
        for (std::size_t i = 0; i < kept; ++i) response->addTypedHeader(SipHeader::Contact, contacts[i]);
        if (expires >= 0) response->addTypedHeader(SipHeader::Expires, kel_sip::SipIntField(expires));
    }
    response->addTypedHeader(SipHeader::Date, kel_sip::SipDate(now));
    return response;
}

std::int64_t PseudoRegisterAnswer::expiresToEcho(const SipMessageExt& request, int serverTransactionId) {
    const kel_util::RFC822ValueList* values = request.typedHeaders.find(SipHeader::Expires);
    if (values == nullptr || values->getValues().empty()) {
        logPrint(kel_util::DBG,
                 "PseudoSipRegistrar::onReceiveRequest. ascribe register because no expires, Method=[%s], "
                 "ServerTransactionID=%d.\n",
                 std::string(request.getMethodName()).c_str(), serverTransactionId);
        return kDefaultExpires;
    }
    kel_sip::SipIntField field;
    try {
        const std::string& raw = values->getValues().front();
        field.parse(raw.data(), static_cast<int>(raw.size()), true);
    } catch (const kel_sip::SipParseException&) {
        return -1;
    }
    return field.getValue() > 0 ? field.getValue() : -1;
}
