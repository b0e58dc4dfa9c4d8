// The General MIDI drum keys: which kind each key plays, and the KEY=DRUM mappings over them that
// MIDI files and beat lines named by a key number share.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "track/drum_kinds.h"

namespace kettorin {

// The kind a General MIDI drum key plays: the key of each kind and the alternates real files use.
std::optional<DrumKind> GeneralMidiDrum(int32_t key);

// The General MIDI key a kind is written with: kick 36, snare 38, closed hi-hat 42, open hi-hat
// 46, low tom 45, mid tom 47, high tom 50, cowbell 56, clap 39, ride 51, crash 49.
int32_t GeneralMidiKey(DrumKind kind);

// KEY=DRUM mappings, in order: a later one for a key wins.
using KeyMap = std::vector<std::pair<int32_t, DrumKind>>;

// Reads "KEY=DRUM" (KEY 0 to 127, DRUM named as on a beat line) into the map, or says what is
// wrong with it.
std::optional<std::string> AddKeyMapping(std::string_view text, KeyMap& map);

// The kind each key plays: the General MIDI table under the mappings.
std::array<std::optional<DrumKind>, 128> KeyKinds(const KeyMap& map);

}  // namespace kettorin
