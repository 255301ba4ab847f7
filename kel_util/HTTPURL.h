// An http URL split into its parts, as the gateway client addresses a device.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kel_util {

struct HTTPURL {
    std::string scheme;
    // Without the brackets of an IPv6 literal.
    std::string host;
    // 0 when the URL names none.
    int port = 0;
    // The request URI: the path and query, beginning with "/".
    std::string path;

    // scheme "://" host [":" port] path; nullopt without "://", without a path, with ":" and
    // no number, or with a port above 65535.
    static std::optional<HTTPURL> split(std::string_view url);

    // A reference read from a device (an absolute URL, an absolute path, or a path relative to
    // this URL's folder) as a full URL on this URL's scheme, host and port.
    std::optional<HTTPURL> resolve(std::string_view reference) const;
};

}  // namespace kel_util
