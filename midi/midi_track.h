// From a Standard MIDI File to drum hits: the tempo map, exact first samples, the General MIDI
// drum keys, and hits of one kind cut off by the next. Nothing here writes; the result renders
// with RenderTrack, or goes to a file through the MIDI call.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "midi/midi_file.h"
#include "track/drum_keys.h"
#include "track/drum_kinds.h"
#include "track/limits.h"
#include "track/status.h"
#include "track/track.h"

namespace kettorin {

// How a MIDI file is rendered: what the command's options change.
struct MidiOptions {
  int32_t sampleRate = 44100;
  int32_t channel = kDefaultMidiChannel;  // 1 to 16: the channel whose notes are drums
  KeyMap map;  // KEY=DRUM over the General MIDI keys
  bool choke = true;  // a closed hi-hat stops the open hi-hat ringing before it
  int32_t channels = 1;  // 2: stereo, each kind at its pan
  PanMap pans;           // kinds' positions instead of the kit's
};

inline std::optional<std::string> AddKeyMapping(std::string_view text, MidiOptions& options) {
  return AddKeyMapping(text, options.map);
}

// One hit as a listing shows it.
struct MidiHit {
  int64_t start = 0;   // its first sample
  int32_t length = 0;  // n: 0 when another hit of its kind starts on the same sample
  DrumKind kind = DrumKind::kKick;
  int32_t key = 0;
  int32_t velocity = 0;
  int32_t track = 0;  // from 0, in file order
};

// A file read and laid out as a track, with what its report and listing say.
struct MidiPlan {
  int32_t format = 0;
  int32_t tracks = 0;
  std::string division;       // "480 ticks per quarter note", "SMPTE 25 frames per second x 40"
  int32_t firstTempo = 0;     // microseconds per quarter note at the start (0 for SMPTE)
  int64_t tempoChanges = 0;   // tempo events after the first moment
  std::vector<MidiHit> hits;  // in the order (first sample, track, position in the track)
  std::array<int64_t, kDrumKindCount> hitsPerKind{};
  std::array<int64_t, 128> skipped{};  // note-ons on the channel whose key plays no drum
  int64_t otherChannels = 0;           // note-ons on other channels
  std::vector<std::string> warnings;   // what was read leniently
  Track track;
};

// Reads the file as every MIDI call does: status 15 and "byte N: ..." for a damaged file, 13 for
// one with more than kMaxMidiNotes notes. What was read leniently goes to `warnings`.
std::optional<Failure> ReadMidiFile(std::span<const uint8_t> bytes, MidiFile& file,
                                    std::vector<std::string>& warnings);

// Which notes play drums: the note-ons of one channel whose key plays a kind under the map. The
// notes passed over are counted, per key on the channel and in all on the others.
class DrumNotes {
 public:
  DrumNotes(int32_t channel, const KeyMap& map)  // channel 1 to 16
      : kinds_(KeyKinds(map)), channel_(static_cast<uint8_t>(channel - 1)) {}

  std::optional<DrumKind> KindOf(const MidiNote& note) {
    if (note.channel != channel_) {
      ++otherChannels;
      return std::nullopt;
    }
    const std::optional<DrumKind> kind = kinds_[note.key];
    if (!kind) ++skipped[note.key];
    return kind;
  }

  std::array<int64_t, 128> skipped{};
  int64_t otherChannels = 0;

 private:
  std::array<std::optional<DrumKind>, 128> kinds_;
  uint8_t channel_;
};

// Reads the file and lays out its hits. Fails with status 15 and "byte N: ..." for a damaged
// file or a channel outside 1 to 16, 11 for a rate below 1, 13 when the track would pass
// `limit` samples or the file holds more than kMaxMidiNotes notes.
std::optional<Failure> PlanMidi(std::span<const uint8_t> bytes, const MidiOptions& options,
                                int64_t limit, MidiPlan& plan);

}  // namespace kettorin
