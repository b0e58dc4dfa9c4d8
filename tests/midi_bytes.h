// Standard MIDI File bytes built by hand for the tests: chunks, delta times and events.
#pragma once

#include <cstdint>
#include <vector>

namespace kettorin::testing_support {

using Bytes = std::vector<uint8_t>;

inline Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

inline Bytes Be32(uint32_t v) {
  return {static_cast<uint8_t>(v >> 24), static_cast<uint8_t>(v >> 16),
          static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)};
}

inline Bytes Chunk(const char* id, const Bytes& body) {
  return Bytes(id, id + 4) + Be32(static_cast<uint32_t>(body.size())) + body;
}

// A header: format, declared tracks, division (ticks per quarter, or SMPTE bytes 0xE7 0x28...).
inline Bytes Header(uint8_t format, uint8_t tracks, uint16_t division) {
  return Chunk("MThd", {0, format, 0, tracks, static_cast<uint8_t>(division >> 8),
                        static_cast<uint8_t>(division)});
}

inline Bytes Track(const Bytes& events) {
  return Chunk("MTrk", events);
}

// A delta time as a variable-length number.
inline Bytes Delta(uint32_t v) {
  Bytes out{static_cast<uint8_t>(v & 0x7F)};
  while (v >>= 7) out.insert(out.begin(), static_cast<uint8_t>(0x80 | (v & 0x7F)));
  return out;
}

inline Bytes Tempo(uint32_t delta, uint32_t micros) {
  return Delta(delta) + Bytes{0xFF, 0x51, 0x03, static_cast<uint8_t>(micros >> 16),
                              static_cast<uint8_t>(micros >> 8), static_cast<uint8_t>(micros)};
}

}  // namespace kettorin::testing_support
