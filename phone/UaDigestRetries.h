// The requests a script sent of one kind (INVITE, REGISTER, SUBSCRIBE, PUBLISH), and the digest
// answer to their challenges: a request refused 401 or 407 is sent once more with the
// credentials, in the same Call-ID with the next CSeq (RFC 3261 sections 8.1.3.5 and 22.2). A
// second challenge to credentials already sent means they were wrong and is not answered, so a
// server that always challenges cannot make us loop.
//
// Kind is the small part that differs (UaDigestKinds.h):
//   Request             what one send needs, kept for the retry
//   send                sends a Request with the credentials given: the usage's ID, <= 0 if not
//   failureOf(event)    which request of the usage an event reports refused, if any
//   resend              the retry after a challenge: its usage ID, <= 0 if not sent
//   remove              ends a usage (expires 0); not for INVITE, whose call ends with BYE
//   ends(event)         the entry is done with after this event
//   kKeepsScriptId      the script keeps naming the first ID after a retry
//
// Threads: any; one mutex guards the tables and is held while a request is handed over, so
// that the answer to it never finds the tables without its entry.
#pragma once

#include <map>
#include <mutex>

#include "kel_sip/syntax/SipMessageExt.h"
#include "kel_sip/transaction/AuthenticateData.h"
#include "phone/UserAgent.h"

// Which request of a usage an event reports refused.
enum class UaRefused { None, Setting, Removing };

// What a retry answers: the usage whose request was refused, which request, the challenge, and
// the credentials that hold it now.
struct UaChallenge {
    int usageId;
    UaRefused refused;
    const kel_sip::SipMessageExt& response;
    const kel_sip::AuthenticateData* credentials;
};

template <typename Kind>
class UaDigestRetries {
public:
    using Request = typename Kind::Request;

    explicit UaDigestRetries(UserAgent& agent) : agent_(agent) {}

    // Sends request; the script's ID of it (> 0), or -1 when it was not sent.
    int add(const Request& request, const kel_sip::AuthenticateData& credentials) {
        std::lock_guard lock(mutex_);
        Entry entry{request, credentials};
        const int id = Kind::send(agent_, entry.request, usable(entry.credentials));
        return record(std::move(entry), id);
    }

    // Ends what the script names scriptId (expires 0); false when unknown or not sent.
    bool remove(int scriptId) {
        std::lock_guard lock(mutex_);
        const auto current = usageOf_.find(scriptId);
        if (current == usageOf_.end()) return false;
        // The removal is a request of its own: its challenge is answered once more.
        if (const auto entry = byUsage_.find(current->second); entry != byUsage_.end()) entry->second.answered = false;
        return Kind::remove(agent_, current->second);
    }

    // For an event of usage usageId: answers a 401 or 407 to its request with the credentials,
    // once for each request; the script's ID of the retry (> 0), or 0 when it did not.
    int answerChallenge(int usageId, int event, const kel_sip::SipMessageExt* response) {
        std::lock_guard lock(mutex_);
        const auto found = byUsage_.find(usageId);
        if (found == byUsage_.end()) return 0;
        const UaRefused refused = Kind::failureOf(event);
        if (refused != UaRefused::None && response != nullptr && isChallenge(*response)) {
            if (const int scriptId = retry(found, refused, *response); scriptId > 0) return scriptId;
        }
        if (Kind::ends(event)) {
            usageOf_.erase(found->second.scriptId);
            byUsage_.erase(found);
        }
        return 0;
    }

private:
    struct Entry {
        Request request;
        kel_sip::AuthenticateData credentials;
        int scriptId = 0;
        bool answered = false;  // the last request of this entry carried credentials already
    };
    using Iterator = typename std::map<int, Entry>::iterator;

    static bool isChallenge(const kel_sip::SipMessageExt& response) {
        return response.statusCode == 401 || response.statusCode == 407;
    }
    static const kel_sip::AuthenticateData* usable(const kel_sip::AuthenticateData& credentials) {
        return credentials.isUsable() ? &credentials : nullptr;
    }

    // With mutex_ held: the retry of found's request; its script ID, or 0 when not sent.
    int retry(Iterator found, UaRefused refused, const kel_sip::SipMessageExt& response) {
        Entry& entry = found->second;
        if (entry.answered || !entry.credentials.isUsable()) return 0;
        Entry again = entry;
        if (!again.credentials.captureChallenge(response)) return 0;
        again.answered = true;
        const int id = Kind::resend(agent_, again.request, {found->first, refused, response, &again.credentials});
        if (id <= 0) return 0;
        byUsage_.erase(found);
        return record(std::move(again), id);
    }

    // With mutex_ held: files entry under the usage ID id it was sent as; the script's ID, or
    // -1 when it was not sent.
    int record(Entry entry, int id) {
        if (id <= 0) return -1;
        if (!Kind::kKeepsScriptId || entry.scriptId == 0) {
            // The first send, or a retry whose new ID the script takes: the old ID is done with.
            if (entry.scriptId != 0) usageOf_.erase(entry.scriptId);
            entry.scriptId = id;
        }
        usageOf_[entry.scriptId] = id;
        const int scriptId = entry.scriptId;
        byUsage_.insert_or_assign(id, std::move(entry));
        return scriptId;
    }

    UserAgent& agent_;
    std::mutex mutex_;
    std::map<int, Entry> byUsage_;  // usage ID -> what was sent; guarded by mutex_
    std::map<int, int> usageOf_;    // script ID -> its current usage ID; guarded by mutex_
};
