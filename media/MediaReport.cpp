#include "media/MediaReport.h"

#include <cinttypes>
#include <cstdio>
#include <ctime>

namespace {

std::string payloadTypeList(const std::bitset<128>& types) {
    std::string list;
    for (std::size_t i = 0; i < types.size(); ++i) {
        if (!types.test(i)) continue;
        if (!list.empty()) list += ',';
        list += std::to_string(i);
    }
    return list.empty() ? "-" : list;
}

// UTC with milliseconds, "-" before the first packet.
std::string timeText(std::chrono::system_clock::time_point when) {
    if (when == std::chrono::system_clock::time_point{}) return "-";
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch()).count();
    const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
    std::tm parts{};
    gmtime_r(&seconds, &parts);
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", parts.tm_hour, parts.tm_min, parts.tm_sec,
                  static_cast<int>(ms % 1000));
    return text;
}

}  // namespace

std::string MediaReport::toString() const {
    char text[512];
    std::snprintf(text, sizeof text,
                  "sent ssrc=%08x packets=%" PRIu64 " bytes=%" PRIu64 " missed=%" PRIu64
                  "; received ssrc=%08x packets=%" PRIu64 " bytes=%" PRIu64 " lost=%" PRIu64
                  " duplicated=%" PRIu64 " outOfOrder=%" PRIu64 " jitter=%.3fms payloadTypes=%s first=%s",
                  sent.ssrc, sent.packets, sent.bytes, sent.missedIntervals, received.ssrc, received.packets,
                  received.bytes, received.lost, received.duplicated, received.outOfOrder, received.jitterMs,
                  payloadTypeList(received.payloadTypes).c_str(), timeText(received.firstArrival).c_str());
    return text;
}
