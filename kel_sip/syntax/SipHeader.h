// The table of known SIP header names. Every known name (full or compact, compared without
// case) maps to one kind; typed header lists and printing work by kind. Names outside the
// table are generic headers kept under their name as written.
#pragma once

namespace kel_sip {

struct SipHeader {
    enum Kind : int {
        Unknown = -1,
        Accept = 0,
        AcceptEncoding = 1,
        AcceptLanguage = 2,
        CallId = 3,
        CallInfo = 4,
        Contact = 5,
        CSeq = 6,
        Date = 7,
        Encryption = 8,
        From = 9,
        MimeVersion = 10,
        Organization = 11,
        RecordRoute = 12,
        Require = 13,
        Supported = 14,
        Timestamp = 15,
        To = 16,
        UserAgent = 17,
        Via = 18,
        Allow = 19,
        ContentDisposition = 20,
        ContentEncoding = 21,
        ContentLanguage = 22,
        ContentLength = 23,
        ContentType = 24,
        Expires = 25,
        AlertInfo = 26,
        Authorization = 27,
        InReplyTo = 28,
        MaxForwards = 29,
        Priority = 30,
        ProxyAuthorization = 31,
        ProxyRequire = 32,
        Route = 33,
        ResponseKey = 34,
        Subject = 35,
        ErrorInfo = 36,
        ProxyAuthenticate = 37,
        RetryAfter = 38,
        Server = 39,
        Unsupported = 40,
        Warning = 41,
        WwwAuthenticate = 42,
        MinExpires = 43,
        ReasonPhrase = 44,
        SessionExpires = 45,
        MinSE = 46,
        RemotePartyId = 47,
        Anonymity = 48,
        Diversion = 49,
        RSeq = 50,
        RAck = 51,
        AllowEvents = 52,
        Event = 53,
        SubscriptionState = 54,
        ReferTo = 55,
        ReferredBy = 56,
        PAssociatedUri = 57,
        PPreferredIdentity = 58,
        Path = 59,
        Privacy = 60,
        Replaces = 61,
        SipETag = 62,
        SipIfMatch = 63,
        PAssertedIdentity = 64,
    };
    static constexpr int Count = 65;

    // The kind of a header name (length bytes, no NUL needed), full or compact, compared
    // without case; Unknown when the name is not in the table. Besides the printed compact
    // forms, "o", "u", "r" and "b" are read as Event, Allow-Events, Refer-To and Referred-By.
    static int kindOf(const char* name, int length) noexcept;
    // The full name of a kind ("Call-ID"), or null outside 0..Count-1.
    static const char* name(int kind) noexcept;
    // The one-letter compact form (RFC 3261 section 7.3.3), or null when the kind has none.
    static const char* compactName(int kind) noexcept;
    // The name used on output: the compact form when compact is set and one exists.
    static const char* printName(int kind, bool compact) noexcept;
};

}  // namespace kel_sip
