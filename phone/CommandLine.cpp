#include "phone/CommandLine.h"

#include "kel_util/Decimal.h"

#include <limits>
#include <optional>
#include <string_view>

namespace {

// One "+number" of a window position; the rest of text is left in text.
std::optional<int> takeCoordinate(std::string_view& text) {
    if (text.empty() || text.front() != '+') return std::nullopt;
    text.remove_prefix(1);
    const std::size_t end = text.find('+');
    const auto value = kel_util::parseDecimal(text.substr(0, end), 0, std::numeric_limits<int>::max());
    text = end == std::string_view::npos ? std::string_view() : text.substr(end);
    if (!value) return std::nullopt;
    return static_cast<int>(*value);
}

bool parsePosition(std::string_view text, CommandLineOptions& options) {
    const auto left = takeCoordinate(text);
    const auto top = takeCoordinate(text);
    if (!left || !top || !text.empty()) return false;
    options.hasWindowPosition = true;
    options.windowLeft = *left;
    options.windowTop = *top;
    return true;
}

}  // namespace

const char* CommandLine::usage() { return "usage: tessaly [-a local-address] [-f settings-file] [-c] [-g +left+top]"; }

bool CommandLine::parse(int argc, const char* const* argv, CommandLineOptions& options, std::string& error) {
    bool seen[128] = {};
    for (int i = 1; i < argc; ++i) {
        const std::string_view option = argv[i];
        if (option.size() != 2 || option[0] != '-' || std::string_view("acfg").find(option[1]) == std::string_view::npos) {
            error = "unknown option " + std::string(option);
            return false;
        }
        const char letter = option[1];
        if (seen[static_cast<unsigned char>(letter)]) {
            error = "option " + std::string(option) + " given twice";
            return false;
        }
        seen[static_cast<unsigned char>(letter)] = true;
        if (letter == 'c') {
            options.compactWindow = true;
            continue;
        }
        if (i + 1 >= argc || argv[i + 1][0] == '\0') {
            error = "option " + std::string(option) + " needs a value";
            return false;
        }
        const std::string value = argv[++i];
        if (letter == 'a') {
            options.localAddress = value;
        } else if (letter == 'f') {
            options.settingsFile = value;
        } else if (!parsePosition(value, options)) {
            error = "option -g takes +left+top, not " + value;
            return false;
        }
    }
    return true;
}
