// Timing of a session description (RFC 4566 sections 5.9 to 5.11): "t=" start and stop,
// "r=" repeat times, "z=" time zone adjustments. All values are seconds; times are NTP
// seconds, which SDP writes in decimal of any length, so they are held in 64 bits.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kel_sip {

// "t=" start-time SP stop-time.
class SDPTime {
public:
    bool parse(std::string_view text);
    void print(std::string& out) const;
    void clear() { *this = SDPTime(); }

    // A typed time (RFC 4566 section 5.10): a decimal optionally followed by "d" (days),
    // "h" (hours) or "m" (minutes), in seconds. An empty text is logged and counts as 0;
    // anything else that is not such a number gives nullopt.
    static std::optional<std::uint64_t> getSecondValue(std::string_view text);

    bool operator==(const SDPTime&) const = default;

    std::uint64_t start = 0;
    std::uint64_t stop = 0;
};

// "r=" repeat-interval SP active-duration 1*(SP offset), each a typed time.
class SDPRepeatTime {
public:
    // Fails without at least one offset.
    bool parse(std::string_view text);
    // Every value in seconds.
    void print(std::string& out) const;
    void clear() { *this = SDPRepeatTime(); }
    bool isSet() const { return interval != 0 || duration != 0 || !offsets.empty(); }

    bool operator==(const SDPRepeatTime&) const = default;

    std::uint64_t interval = 0;
    std::uint64_t duration = 0;
    std::vector<std::uint64_t> offsets;
};

// One "t=" line with its "r=" lines, of which there may be several (RFC 4566 section 5.10:
// a weekly session at two times of the week needs two).
class SDPTimeDescription {
public:
    // Appends the "t=" line and each set "r=" line, each ended by CR LF.
    void print(std::string& out) const;
    void clear() { *this = SDPTimeDescription(); }

    bool operator==(const SDPTimeDescription&) const = default;

    SDPTime time;
    std::vector<SDPRepeatTime> repeatTimes;
};

// One adjustment of "z=": from adjustmentTime on, add offset (which may be negative).
class SDPTimeZone {
public:
    bool operator==(const SDPTimeZone&) const = default;

    std::uint64_t adjustmentTime = 0;
    std::int64_t offset = 0;
};

// "z=" adjustment-time SP offset *(SP adjustment-time SP offset).
class SDPTimeZoneList {
public:
    // The values of the "z=" line, all separated by SP, offsets in seconds.
    void print(std::string& out) const;
    void clear() { zones.clear(); }
    bool isSet() const { return !zones.empty(); }

    bool operator==(const SDPTimeZoneList&) const = default;

    std::vector<SDPTimeZone> zones;
};

}  // namespace kel_sip
