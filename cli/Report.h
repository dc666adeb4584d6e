// What plotwick-cli prints: fields with their control characters escaped, and error lines.
#pragma once

#include <string>
#include <string_view>

namespace plotwick::cli {

// A field as printed: the backslash becomes "\\", TAB "\t", line feed "\n", carriage return
// "\r", and every other control character (0x00 to 0x1F, 0x7F) "\xHH" with two upper-case
// hexadecimal digits; all other bytes are printed as they are. So a line is always one item
// and a field one field, and nothing a name holds reaches the terminal as a control sequence.
std::string EscapeField(std::string_view text);

// "plotwick-cli: <path>: <message>" on standard error, the path escaped.
void ReportError(const std::string& path, const std::string& message);

extern const char* const kEscapeHelp;

}  // namespace plotwick::cli
