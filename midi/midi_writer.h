// Standard MIDI Files out: a song's drum notes, tempo map, meters and markers as the bytes of a
// format-0 file. The writer knows nothing of beats or samples: it takes events in ticks.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kettorin {

// General MIDI's drum channel, 10, as the file stores it (0 to 15).
inline constexpr uint8_t kDrumChannelByte = 9;

struct MidiOutNote {
  uint64_t tick = 0;
  uint64_t length = 1;   // ticks until its note-off, at least 1
  uint8_t key = 36;      // 0 to 127
  uint8_t velocity = 1;  // 1 to 127
};

struct MidiOutTempo {
  uint64_t tick = 0;
  uint32_t microsecondsPerQuarter = 500000;  // 1 to 16777215
};

struct MidiOutMeter {
  uint64_t tick = 0;
  uint8_t numerator = 4;
  uint8_t denominatorPower = 2;  // the denominator is 2 to this power: 2 for quarters
};

struct MidiOutMarker {
  uint64_t tick = 0;
  std::string text;
};

struct MidiOut {
  uint16_t ticksPerQuarter = 960;
  std::vector<MidiOutTempo> tempos;
  std::vector<MidiOutMeter> meters;
  std::vector<MidiOutMarker> markers;
  std::vector<MidiOutNote> notes;
  uint64_t endTick = 0;  // the end of the track, if later than its last event
};

// The file: header, then one track on channel 10. At one tick the meta events come first (tempo,
// meter, marker), then note-offs, then note-ons, so that a note ending where the next of its key
// begins does not cut the new one short; a note-off never comes after the next note-on of its
// key. Gaps longer than a delta time can say (2^28 - 1 ticks) are bridged with empty text
// events.
std::vector<uint8_t> WriteMidi(const MidiOut& song);

}  // namespace kettorin
