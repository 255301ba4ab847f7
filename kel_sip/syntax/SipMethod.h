// The SIP methods the stack knows by number: the index of SipMethodList and of SipCSeq.
#pragma once

#include <string_view>

namespace kel_sip {

// Method kinds (RFC 3261 plus the methods of RFC 3262, 3265, 3311, 3428, 3515, 3903, 6086).
namespace SipMethod {
inline constexpr int Other = -1;  // a method outside the table
inline constexpr int Invite = 0;
inline constexpr int Ack = 1;
inline constexpr int Options = 2;
inline constexpr int Bye = 3;
inline constexpr int Cancel = 4;
inline constexpr int Register = 5;
inline constexpr int Info = 6;
inline constexpr int Refer = 7;
inline constexpr int Update = 8;
inline constexpr int Prack = 9;
inline constexpr int Subscribe = 10;
inline constexpr int Notify = 11;
inline constexpr int Message = 12;
inline constexpr int Publish = 13;
inline constexpr int Count = 14;

// The kind of a method name, compared without case; Other when it is not in the table.
int kindOf(std::string_view name) noexcept;
// The upper-case name of a kind; empty outside 0..Count-1.
std::string_view nameOf(int kind) noexcept;
}  // namespace SipMethod

}  // namespace kel_sip
