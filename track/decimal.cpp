// Decimal settings, read the same in every locale.
#include "track/decimal.h"

#include <charconv>
#include <cstdlib>
#include <string>
#include <system_error>

namespace kettorin {

namespace {

std::optional<float> DecimalFloat(std::string_view text) {
  if (text.empty()) return std::nullopt;
  for (char c : text) {
    const bool allowed =
        (c >= '0' && c <= '9') || c == '.' || c == 'e' || c == 'E' || c == '-' || c == '+';
    if (!allowed) return std::nullopt;
  }
  float value = 0;
#if defined(__cpp_lib_to_chars)
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
#else
  // Without a floating-point from_chars (WebAssembly's C++ library), musl's strtof, which reads
  // the same decimal point in every locale.
  const std::string copy(text);
  char* end = nullptr;
  value = std::strtof(copy.c_str(), &end);
  if (end != copy.c_str() + copy.size()) return std::nullopt;
#endif
  return value;
}

}  // namespace

std::optional<float> ReadDecimal(std::string_view text) {
  // A leading + is a plain decimal's sign too, once: "+2.5", not "+-2.5".
  const bool plus = text.size() > 1 && text[0] == '+' && text[1] != '-' && text[1] != '+';
  return DecimalFloat(plus ? text.substr(1) : text);
}

}  // namespace kettorin
