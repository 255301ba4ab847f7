// Default reason phrases, used when a response is made without one.
#pragma once

namespace kel_sip {

// The phrase of a status code ("Ringing" for 180), "Undefined Error" for a code without one.
const char* sipReasonPhrase(int statusCode) noexcept;

}  // namespace kel_sip
