// The pan law and the pans set per kind.
#include "track/pan.h"

#include <cmath>

#include "track/decimal.h"

namespace kettorin {

PanGains PanLaw(float position) {
  const float a = (position + 1.0f) * 0.78539819f;  // 0 to pi/2
  return {static_cast<float>(std::cos(static_cast<double>(a))),
          static_cast<float>(std::sin(static_cast<double>(a)))};
}

std::optional<float> ReadPan(std::string_view text) {
  const std::optional<float> p = ReadDecimal(text);
  if (!p || !(*p >= kMinPan && *p <= kMaxPan)) return std::nullopt;  // NaN is refused too
  return p;
}

std::optional<std::string> AddPanSetting(std::string_view text, PanMap& pans) {
  const size_t equals = text.find('=');
  if (equals == std::string_view::npos) {
    return "a pan is DRUM=P, such as ride=0.5; got '" + std::string(text) + "'";
  }
  const std::string_view name = text.substr(0, equals);
  const std::optional<DrumKind> kind = FindDrumKind(name);
  if (!kind) return UnknownDrum(name);
  const std::optional<float> p = ReadPan(text.substr(equals + 1));
  if (!p) {
    return "a pan is -1 (left) to 1 (right); got '" + std::string(text.substr(equals + 1)) + "'";
  }
  pans[static_cast<size_t>(*kind)] = *p;
  return std::nullopt;
}

}  // namespace kettorin
