// Decimal settings as texts and the command write them: "0.25", "-1", "+2.5", "1e-3".
#pragma once

#include <optional>
#include <string_view>

namespace kettorin {

// The float nearest to a decimal number (one optional leading sign, digits, an optional point and
// fraction, an optional exponent), independent of the locale; nothing for any other text.
std::optional<float> ReadDecimal(std::string_view text);

}  // namespace kettorin
