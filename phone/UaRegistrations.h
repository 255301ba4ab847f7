// The registrations a script asked for, and the digest answer to their challenges: a REGISTER
// refused 401 or 407 is sent once more, by a new registrant in the same Call-ID with the next
// CSeq and the credentials (RFC 3261 section 22.2). The script keeps naming the registration
// by the ID it was given first.
//
// Threads: any; one mutex guards the table and is held while a REGISTER is handed over, so that
// the answer to it never finds the table without its entry.
#pragma once

#include <map>
#include <mutex>

#include "kel_sip/transaction/AuthenticateData.h"
#include "kel_sip/usage/SipRegistrantController.h"
#include "phone/UserAgent.h"

class UaRegistrations {
public:
    explicit UaRegistrations(UserAgent& agent) : agent_(agent) {}

    // Sends the REGISTER of start; the registration's ID (> 0), or -1 when it was not sent.
    int add(const kel_sip::SipRegistrantStart& start, const kel_sip::AuthenticateData& credentials);
    // Removes registration id's binding (expires 0); false when unknown or not sent.
    bool remove(int id);
    // For a registrant event: answers a 401 or 407 with the credentials, once for each
    // REGISTER; true when it did so.
    bool answerChallenge(int registrantId, int event, const kel_sip::SipMessageExt* response);

private:
    struct Entry {
        kel_sip::SipRegistrantStart start;
        kel_sip::AuthenticateData credentials;
        int scriptId = 0;
        bool answered = false;  // the REGISTER of this registrant carried credentials already
    };

    int send(Entry entry);  // with mutex_ held

    UserAgent& agent_;
    std::mutex mutex_;
    std::map<int, Entry> byRegistrant_;  // guarded by mutex_
    std::map<int, int> registrantOf_;    // script ID -> its current registrant; guarded by mutex_
};
