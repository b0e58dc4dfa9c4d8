// The General MIDI drum keys and the mappings over them.
#include "track/drum_keys.h"

#include <charconv>

namespace kettorin {

std::optional<DrumKind> GeneralMidiDrum(int32_t key) {
  // Each kind's General MIDI key, then the alternates real files use (40 more often than 38).
  constexpr std::pair<int32_t, DrumKind> kKeys[] = {
      {36, DrumKind::kKick},        {35, DrumKind::kKick},        {38, DrumKind::kSnare},
      {40, DrumKind::kSnare},       {37, DrumKind::kSnare},       {39, DrumKind::kClap},
      {42, DrumKind::kHiHatClosed}, {44, DrumKind::kHiHatClosed}, {46, DrumKind::kHiHatOpen},
      {41, DrumKind::kLowTom},      {43, DrumKind::kLowTom},      {45, DrumKind::kLowTom},
      {47, DrumKind::kMidTom},      {48, DrumKind::kMidTom},      {50, DrumKind::kHighTom},
      {56, DrumKind::kCowbell},     {51, DrumKind::kRide},        {53, DrumKind::kRide},
      {59, DrumKind::kRide},        {49, DrumKind::kCrash},       {52, DrumKind::kCrash},
      {55, DrumKind::kCrash},       {57, DrumKind::kCrash},
  };
  for (const auto& [k, kind] : kKeys) {
    if (k == key) return kind;
  }
  return std::nullopt;
}

int32_t GeneralMidiKey(DrumKind kind) {
  // In the kinds' order: kick, snare, the hi-hats, the toms high to low, cowbell, clap, cymbals.
  constexpr std::array<int32_t, kDrumKindCount> kKeys = {36, 38, 42, 46, 50, 47, 45, 56, 39, 51, 49};
  return kKeys[static_cast<size_t>(kind)];
}

std::optional<std::string> AddKeyMapping(std::string_view text, KeyMap& map) {
  const size_t equals = text.find('=');
  if (equals == std::string_view::npos) {
    return "a mapping is KEY=DRUM, such as 54=cowbell; got '" + std::string(text) + "'";
  }
  const std::string_view keyText = text.substr(0, equals);
  const std::string_view name = text.substr(equals + 1);
  int32_t key = -1;
  const auto [end, problem] = std::from_chars(keyText.data(), keyText.data() + keyText.size(), key);
  if (keyText.empty() || problem != std::errc() || end != keyText.data() + keyText.size() ||
      key < 0 || key > 127) {
    return "a mapping's key is 0 to 127; got '" + std::string(keyText) + "'";
  }
  const std::optional<DrumKind> kind = FindDrumKind(name);
  if (!kind) return UnknownDrum(name);
  map.emplace_back(key, *kind);
  return std::nullopt;
}

std::array<std::optional<DrumKind>, 128> KeyKinds(const KeyMap& map) {
  std::array<std::optional<DrumKind>, 128> kinds;
  for (int32_t key = 0; key < 128; ++key) kinds[static_cast<size_t>(key)] = GeneralMidiDrum(key);
  for (const auto& [key, kind] : map) kinds[static_cast<size_t>(key & 0x7F)] = kind;
  return kinds;
}

}  // namespace kettorin
