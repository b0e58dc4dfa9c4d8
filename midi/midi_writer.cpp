// The MIDI writer: events in tick order, delta times as variable-length quantities, big-endian.
#include "midi/midi_writer.h"

#include <algorithm>
#include <array>
#include <tuple>

namespace kettorin {

namespace {

void Put32(std::vector<uint8_t>& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(v >> shift));
}

// Seven bits a byte, most significant first, every byte but the last with its top bit set; at
// most four bytes, 2^28 - 1.
constexpr uint64_t kLongestDelta = 0x0FFFFFFF;

void PutQuantity(std::vector<uint8_t>& out, uint64_t v) {
  std::array<uint8_t, 4> bytes{};
  size_t n = 0;
  do {
    bytes[n++] = static_cast<uint8_t>(v & 0x7F);
    v >>= 7;
  } while (v != 0);
  while (n > 1) out.push_back(static_cast<uint8_t>(bytes[--n] | 0x80));
  out.push_back(bytes[0]);
}

// One event: when, in which order among those of its tick, and its bytes after the delta time.
struct Event {
  uint64_t tick;
  int32_t rank;  // 0 tempo, 1 meter, 2 marker, 3 note-off, 4 note-on
  uint64_t order;  // the order it was given in, among its rank
  std::vector<uint8_t> bytes;
};

}  // namespace

std::vector<uint8_t> WriteMidi(const MidiOut& song) {
  std::vector<Event> events;
  uint64_t order = 0;
  for (const MidiOutTempo& t : song.tempos) {
    const uint32_t us = std::clamp<uint32_t>(t.microsecondsPerQuarter, 1, 0xFFFFFF);
    events.push_back({t.tick, 0, order++,
                      {0xFF, 0x51, 0x03, static_cast<uint8_t>(us >> 16),
                       static_cast<uint8_t>(us >> 8), static_cast<uint8_t>(us)}});
  }
  for (const MidiOutMeter& m : song.meters) {
    // 24 MIDI clocks a metronome click, 8 thirty-second notes a quarter.
    events.push_back({m.tick, 1, order++,
                      {0xFF, 0x58, 0x04, m.numerator, m.denominatorPower, 24, 8}});
  }
  for (const MidiOutMarker& m : song.markers) {
    Event e{m.tick, 2, order++, {0xFF, 0x06}};
    PutQuantity(e.bytes, m.text.size());
    e.bytes.insert(e.bytes.end(), m.text.begin(), m.text.end());
    events.push_back(std::move(e));
  }
  // Each key's notes in time order, so that a note-off can be kept before the next note-on.
  std::vector<size_t> byKey(song.notes.size());
  for (size_t i = 0; i < byKey.size(); ++i) byKey[i] = i;
  std::stable_sort(byKey.begin(), byKey.end(), [&](size_t a, size_t b) {
    return std::tie(song.notes[a].key, song.notes[a].tick) <
           std::tie(song.notes[b].key, song.notes[b].tick);
  });
  for (size_t i = 0; i < byKey.size(); ++i) {
    const MidiOutNote& note = song.notes[byKey[i]];
    uint64_t off = note.tick + std::max<uint64_t>(note.length, 1);
    if (i + 1 < byKey.size() && song.notes[byKey[i + 1]].key == note.key) {
      off = std::min(off, std::max(song.notes[byKey[i + 1]].tick, note.tick + 1));
    }
    const auto velocity = static_cast<uint8_t>(std::clamp<int>(note.velocity, 1, 127));
    const auto key = static_cast<uint8_t>(note.key & 0x7F);
    events.push_back({note.tick, 4, byKey[i], {0x90 | kDrumChannelByte, key, velocity}});
    events.push_back({off, 3, byKey[i], {0x80 | kDrumChannelByte, key, 0x40}});
  }
  std::stable_sort(events.begin(), events.end(), [](const Event& a, const Event& b) {
    return std::tie(a.tick, a.rank, a.order) < std::tie(b.tick, b.rank, b.order);
  });

  std::vector<uint8_t> track;
  uint64_t now = 0;
  // A gap longer than a delta time can say is bridged by empty text events.
  const auto advance = [&](uint64_t to) {
    for (; to - now > kLongestDelta; now += kLongestDelta) {
      PutQuantity(track, kLongestDelta);
      track.insert(track.end(), {0xFF, 0x01, 0x00});
    }
    PutQuantity(track, to - now);
    now = to;
  };
  for (const Event& e : events) {
    advance(e.tick);
    track.insert(track.end(), e.bytes.begin(), e.bytes.end());
  }
  advance(std::max(song.endTick, now));
  track.insert(track.end(), {0xFF, 0x2F, 0x00});  // end of track

  std::vector<uint8_t> file = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1};  // format 0, 1 track
  file.push_back(static_cast<uint8_t>(song.ticksPerQuarter >> 8));
  file.push_back(static_cast<uint8_t>(song.ticksPerQuarter & 0xFF));
  file.insert(file.end(), {'M', 'T', 'r', 'k'});
  Put32(file, static_cast<uint32_t>(track.size()));
  file.insert(file.end(), track.begin(), track.end());
  return file;
}

}  // namespace kettorin
