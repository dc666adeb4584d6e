#include "cli/Report.h"

#include <iostream>

namespace plotwick::cli {

const char* const kEscapeHelp =
    "Control characters and the backslash in printed names are escaped: \\\\, \\t, \\n, \\r,\n"
    "and \\xHH for any other byte below 0x20 and for 0x7F.\n";

std::string EscapeField(std::string_view text)
{
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size());
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\t': out += "\\t"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        default:
            if (c < 0x20 || c == 0x7F) {
                out += "\\x";
                out += hex[c >> 4];
                out += hex[c & 15];
            } else {
                out += ch;
            }
        }
    }
    return out;
}

void ReportError(const std::string& path, const std::string& message)
{
    std::cerr << "plotwick-cli: " << EscapeField(path) << ": " << message << "\n";
}

}  // namespace plotwick::cli
