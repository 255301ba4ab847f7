#include "kel_sip/syntax/SipReasonPhrase.h"

#include <algorithm>
#include <array>
#include <utility>

namespace kel_sip {
namespace {

// Sorted by code for a binary search.
constexpr std::array<std::pair<int, const char*>, 55> kPhrases = {{
    {100, "Trying"}, {180, "Ringing"}, {181, "Call Is Being Forwarded"}, {182, "Queued"},
    {183, "Session Progress"}, {200, "OK"}, {202, "Accepted"}, {300, "Multiple Choices"},
    {301, "Moved Permanently"}, {302, "Moved Temporarily"}, {305, "Use Proxy"}, {380, "Alternative Service"},
    {400, "Bad Request"}, {401, "Unauthorized"}, {402, "Payment Required"}, {403, "Forbidden"},
    {404, "Not Found"}, {405, "Method Not Allowed"}, {406, "Not Acceptable"},
    {407, "Proxy Authentication Required"}, {408, "Request Timeout"}, {410, "Gone"},
    {412, "Conditional Request Failed"}, {413, "Request Entity Too Large"}, {414, "Request-URI Too Long"},
    {415, "Unsupported Media Type"}, {416, "Unsupported URI Scheme"}, {420, "Bad Extension"},
    {421, "Extension Required"}, {422, "Session Interval Too Small"}, {423, "Interval Too Brief"},
    {480, "Temporarily Unavailable"}, {481, "Call/Transaction Does Not Exist"}, {482, "Loop Detected"},
    {483, "Too Many Hops"}, {484, "Address Incomplete"}, {485, "Ambiguous"}, {486, "Busy Here"},
    {487, "Request Terminated"}, {488, "Not Acceptable Here"}, {489, "Bad Event"}, {491, "Request Pending"},
    {493, "Undecipherable"}, {500, "Server Internal Error"}, {501, "Not Implemented"}, {502, "Bad Gateway"},
    {503, "Service Unavailable"}, {504, "Server Time-out"}, {505, "Version Not Supported"},
    {513, "Message Too Large"}, {580, "Precondition Failure"}, {600, "Busy Everywhere"}, {603, "Decline"},
    {604, "Does Not Exist Anywhere"}, {606, "Not Acceptable"},
}};

}  // namespace

const char* sipReasonPhrase(int statusCode) noexcept {
    const auto* end = kPhrases.end();
    const auto* it = std::lower_bound(kPhrases.begin(), end, statusCode,
                                      [](const auto& entry, int code) { return entry.first < code; });
    return it != end && it->first == statusCode ? it->second : "Undefined Error";
}

}  // namespace kel_sip
