// Text forms of setting values in the settings file. Numbers are read and written without
// regard to the process locale.
#pragma once

#include <optional>
#include <string>
#include <string_view>

// A multi-line text on one line: CR as "\r", LF as "\n", and a backslash as "\\" so that a
// text that itself holds a backslash followed by "r" or "n" survives the round trip.
std::string escapeLineBreaks(std::string_view text);
// The reverse; a backslash before any other character is kept as it is, as older files that
// never doubled their backslashes expect.
std::string unescapeLineBreaks(std::string_view text);

// A text value as it stands in the file. The file drops blanks at both ends of a value, and a
// reader takes off one pair of quotes (double or single) around a whole value, as Windows INI
// readers do; a text that would lose either is written inside double quotes.
std::string quoteSettingText(std::string_view text);
std::string unquoteSettingText(std::string_view text);

// A decimal int with an optional "-": digits only, no overflow.
std::optional<int> parseSettingInt(std::string_view text);
// 0 is false, any other int is true.
std::optional<bool> parseSettingBool(std::string_view text);
// A finite real written with "." whatever the locale ("1", "0.5", "-2.25e1").
std::optional<double> parseSettingReal(std::string_view text);
// Six decimals, as "%f" writes it in the C locale.
std::string formatSettingReal(double value);
// A colour read as hexadecimal (at most 8 digits); "-1" stands for the default colour.
std::optional<long> parseSettingColor(std::string_view text);
std::string formatSettingColor(long value);
