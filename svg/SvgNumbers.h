// The two number formats of the SVG document. Both are independent of the locale: "." as the
// decimal separator, no grouping, and a value that rounds to zero is written without a minus
// sign.
#pragma once

#include <string>
#include <string_view>

#include "model/Shapes.h"

namespace plotwick {

// The SVG document text: UTF-16 code units.
using SvgText = std::u16string;

// Transform numbers (the root transform, text positions and text matrices): fixed point with
// exactly two decimals, at most 7 significant digits ("1.00", "-10.00", "123456.80"). A value
// whose rounded integer part needs more than 7 digits is written as a path number instead.
std::string FormatTransformNumber(float v);

// Path numbers: at most 7 significant digits, plain notation for decimal exponents -3 to 7
// (value = 0.d1d2... x 10^e), "E" notation outside ("30.5", "0.3333333", "5E-5", "1.234568E7").
std::string FormatPathNumber(float v);

// Both formats round halves away from zero, looking at the 18-significant-digit decimal
// expansion of the single. Infinities are written "INF" and "-INF", NaN "NAN".

// Appends ASCII text to a document.
void AppendAscii(SvgText& d, std::string_view text);

}  // namespace plotwick
