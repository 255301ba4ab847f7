#include "kel_util/HTTPURL.h"

#include "kel_util/Decimal.h"

namespace kel_util {

std::optional<HTTPURL> HTTPURL::split(std::string_view url) {
    const size_t separator = url.find("://");
    if (separator == std::string_view::npos || separator == 0) return std::nullopt;
    HTTPURL result;
    result.scheme = std::string(url.substr(0, separator));
    std::string_view rest = url.substr(separator + 3);
    const size_t slash = rest.find('/');
    if (slash == std::string_view::npos) return std::nullopt;
    std::string_view authority = rest.substr(0, slash);
    result.path = std::string(rest.substr(slash));
    std::string_view portText;
    bool hasPort = false;
    if (!authority.empty() && authority.front() == '[') {
        const size_t close = authority.find(']');
        if (close == std::string_view::npos) return std::nullopt;
        result.host = std::string(authority.substr(1, close - 1));
        const std::string_view after = authority.substr(close + 1);
        if (!after.empty() && after.front() != ':') return std::nullopt;
        hasPort = !after.empty();
        if (hasPort) portText = after.substr(1);
    } else {
        const size_t colon = authority.find(':');
        result.host = std::string(authority.substr(0, colon));
        hasPort = colon != std::string_view::npos;
        if (hasPort) portText = authority.substr(colon + 1);
    }
    if (result.host.empty()) return std::nullopt;
    if (hasPort) {
        const auto port = parseDecimal(portText, 0, 65535);
        if (!port) return std::nullopt;
        result.port = static_cast<int>(*port);
    }
    return result;
}

std::optional<HTTPURL> HTTPURL::resolve(std::string_view reference) const {
    if (reference.find("://") != std::string_view::npos) return split(reference);
    if (reference.empty()) return std::nullopt;
    HTTPURL result = *this;
    if (reference.front() == '/') {
        result.path = std::string(reference);
    } else {
        const std::string_view folder = std::string_view(path).substr(0, path.find_first_of("?#"));
        result.path = std::string(folder.substr(0, folder.rfind('/') + 1)) + std::string(reference);
    }
    return result;
}

}  // namespace kel_util
