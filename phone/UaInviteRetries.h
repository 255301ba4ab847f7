// The INVITEs a script sent, and the digest answer to their challenges: an INVITE refused 401
// or 407 is sent once more, as a new dialog in the same Call-ID with the next CSeq and the
// credentials (RFC 3261 sections 8.1.3.5 and 22.2). The retry has a dialog ID of its own; a
// second challenge to credentials already sent is not answered.
//
// Threads: any; one mutex guards the table and is held while an INVITE is handed over, so that
// the answer to it never finds the table without its entry.
#pragma once

#include <map>
#include <mutex>
#include <string>

#include "kel_sip/transaction/AuthenticateData.h"
#include "kel_sip/usage/SipDialog.h"
#include "kel_sip/usage/SipSession.h"
#include "phone/UserAgent.h"

class UaInviteRetries {
public:
    explicit UaInviteRetries(UserAgent& agent) : agent_(agent) {}

    // Sends the INVITE with body (the order's own body is ignored); the dialog's ID (> 0), or
    // -1 when it was not sent.
    int add(const kel_sip::SipDialogStart& start, const kel_sip::InviteOrder& order, std::string body,
            const kel_sip::AuthenticateData& credentials);
    // For a session event: answers a 401 or 407 to an INVITE with the credentials, once for
    // each call; the new dialog's ID, or 0 when it did not.
    int answerChallenge(int dialogId, int event, const kel_sip::SipMessageExt* response);

private:
    struct Entry {
        kel_sip::SipDialogStart start;
        kel_sip::InviteOrder order;  // views nothing: its body is set from body when sent
        std::string body;
        kel_sip::AuthenticateData credentials;
        bool answered = false;  // this INVITE carried credentials already
    };

    int send(Entry entry);  // with mutex_ held

    UserAgent& agent_;
    std::mutex mutex_;
    std::map<int, Entry> byDialog_;  // guarded by mutex_
};
