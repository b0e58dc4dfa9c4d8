// The Standard MIDI File reader: chunks, events, running status, tempo, time signature and end of
// track. Every length is checked against the bytes that are there before anything is read or
// allocated.
#include "midi/midi_file.h"

#include <cstdio>
#include <cstring>

namespace kettorin {

namespace {

uint32_t Big16(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 8 | p[1];
}
uint32_t Big32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | Big16(p + 2);
}

std::string Hex(uint8_t byte) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%02X", byte);
  return text;
}

// The events of one MTrk chunk: bytes [at, end) of the file. `cut` when the file ends before the
// chunk does: then an event the cut leaves incomplete ends the track quietly.
class TrackReader {
 public:
  TrackReader(std::span<const uint8_t> bytes, size_t at, size_t end, bool cut)
      : bytes_(bytes), at_(at), end_(end), cut_(cut) {}

  std::optional<MidiError> Read(MidiTrack& track, int64_t& notesLeft) {
    uint64_t tick = 0;
    uint8_t running = 0;  // the status a data byte continues; 0 for none
    while (at_ < end_) {
      const size_t event = at_;
      uint32_t delta = 0;
      if (!Number(delta)) return Incomplete(event);
      if (delta == kTooLong) return Error(event, "a delta time longer than 4 bytes");
      tick += delta;
      if (at_ >= end_) return Incomplete(event);
      uint8_t status = bytes_[at_];
      if (status >= 0x80) {
        ++at_;
      } else if (running == 0) {
        return Error(at_, "running status with no status before it");
      } else {
        status = running;
      }

      if (status < 0xF0) {
        // A channel message: program change and channel pressure have one data byte, the rest two.
        running = status;
        const size_t size = (status & 0xE0) == 0xC0 ? 1 : 2;
        if (end_ - at_ < size) return Incomplete(event);
        for (size_t i = 0; i < size; ++i) {
          if (bytes_[at_ + i] >= 0x80) {
            return Error(at_ + i, "data byte " + Hex(bytes_[at_ + i]) + " in a channel message");
          }
        }
        const uint8_t key = bytes_[at_];
        const uint8_t velocity = size == 2 ? bytes_[at_ + 1] : 0;
        if ((status & 0xF0) == 0x90 && velocity > 0) {
          if (--notesLeft < 0) {
            return MidiError{static_cast<int64_t>(event),
                             "more than " + std::to_string(kMaxMidiNotes) + " notes", 13};
          }
          track.notes.push_back({tick, static_cast<uint8_t>(status & 0x0F), key, velocity});
        }
        at_ += size;
      } else if (status == 0xF0 || status == 0xF7 || status == 0xFF) {
        // Sysex and meta events cancel running status and are skipped by their length, except
        // the three that shape time.
        running = 0;
        uint8_t type = 0;
        if (status == 0xFF) {
          if (at_ >= end_) return Incomplete(event);
          type = bytes_[at_++];
        }
        uint32_t length = 0;
        if (!Number(length)) return Incomplete(event);
        if (length == kTooLong) return Error(event, "an event length longer than 4 bytes");
        if (end_ - at_ < length) {
          if (cut_) return Incomplete(event);
          return Error(event, "an event of " + std::to_string(length) +
                                  " bytes passes the end of its track");
        }
        const uint8_t* data = bytes_.data() + at_;
        at_ += length;
        if (status == 0xFF && type == 0x2F) {
          track.endTick = tick;
          return std::nullopt;  // whatever follows the end of the track is not heard
        }
        if (status == 0xFF && type == 0x51) {
          if (length != 3) {
            return Error(event, "a tempo event of " + std::to_string(length) + " bytes, not 3");
          }
          const uint32_t tempo = static_cast<uint32_t>(data[0]) << 16 | Big16(data + 1);
          if (tempo == 0) return Error(event, "a tempo of 0 microseconds per quarter note");
          track.tempos.push_back({tick, tempo});
        }
        // A time signature shorter than its two first bytes says nothing; playing never needed
        // it, so it is passed over rather than refused.
        if (status == 0xFF && type == 0x58 && length >= 2) {
          track.timeSignatures.push_back({tick, data[0], data[1]});
        }
      } else {
        return Error(at_ - 1, "status byte " + Hex(status) + " cannot appear in a file");
      }
      track.endTick = tick;
    }
    return std::nullopt;
  }

 private:
  static constexpr uint32_t kTooLong = ~uint32_t{0};

  // A variable-length number: 7 bits a byte, at most 4 bytes (kTooLong for more). False when the
  // track ends inside it.
  bool Number(uint32_t& value) {
    value = 0;
    for (int i = 0; i < 4; ++i) {
      if (at_ >= end_) return false;
      const uint8_t byte = bytes_[at_++];
      value = value << 7 | (byte & 0x7Fu);
      if (byte < 0x80) return true;
    }
    value = kTooLong;
    return true;
  }

  // An event that the end of the bytes cuts in two: the end of a cut-off file, or damage.
  std::optional<MidiError> Incomplete(size_t event) {
    if (cut_) return std::nullopt;
    return Error(event, "an event passes the end of its track");
  }

  static std::optional<MidiError> Error(size_t at, std::string message) {
    return MidiError{static_cast<int64_t>(at), std::move(message)};
  }

  std::span<const uint8_t> bytes_;
  size_t at_;
  size_t end_;
  bool cut_;
};

}  // namespace

std::optional<MidiError> ReadMidi(std::span<const uint8_t> bytes, MidiFile& file) {
  file = MidiFile{};
  const size_t size = bytes.size();
  auto error = [](size_t at, std::string message) {
    return MidiError{static_cast<int64_t>(at), std::move(message)};
  };
  if (size < 8 || std::memcmp(bytes.data(), "MThd", 4) != 0) {
    return error(0, "not a Standard MIDI File: it does not begin with MThd");
  }
  const uint32_t headerLength = Big32(bytes.data() + 4);
  if (headerLength < 6) {
    return error(4, "a header of " + std::to_string(headerLength) + " bytes, not 6");
  }
  if (headerLength > size - 8) {
    return error(
        4, "the header's length " + std::to_string(headerLength) + " passes the end of the file");
  }
  const uint8_t* header = bytes.data() + 8;
  file.format = static_cast<int32_t>(Big16(header));
  if (file.format > 2) {
    return error(8, "format " + std::to_string(file.format) + " (a file has format 0, 1 or 2)");
  }
  file.declaredTracks = static_cast<int32_t>(Big16(header + 2));
  const uint32_t division = Big16(header + 4);
  if (division & 0x8000) {
    // SMPTE: minus the frames per second in the high byte, ticks per frame in the low one.
    const int32_t frames = 256 - static_cast<int32_t>(division >> 8);
    if (frames != 24 && frames != 25 && frames != 29 && frames != 30) {
      return error(12, "SMPTE division of -" + std::to_string(frames) +
                           " frames per second (-24, -25, -29 or -30)");
    }
    file.framesPerSecond = frames;
    file.ticksPerFrame = static_cast<int32_t>(division & 0xFF);
    if (file.ticksPerFrame == 0) return error(13, "SMPTE division of 0 ticks per frame");
  } else {
    file.ticksPerQuarter = static_cast<int32_t>(division);
    if (division == 0) return error(12, "division of 0 ticks per quarter note");
  }

  int64_t notesLeft = kMaxMidiNotes;
  size_t at = 8 + headerLength;
  while (at < size) {
    if (size - at < 8) {
      file.strayBytes = static_cast<int64_t>(size - at);  // not even a whole chunk header
      break;
    }
    const uint32_t length = Big32(bytes.data() + at + 4);
    const size_t begin = at + 8;
    const bool cut = length > size - begin;
    if (std::memcmp(bytes.data() + at, "MTrk", 4) == 0) {
      const size_t end = cut ? size : begin + length;
      TrackReader reader(bytes, begin, end, cut);
      file.tracks.emplace_back();
      if (std::optional<MidiError> damage = reader.Read(file.tracks.back(), notesLeft)) {
        return damage;
      }
      if (cut) {
        file.cutOffAt = static_cast<int64_t>(size);
        break;
      }
    } else if (cut) {
      return error(at + 4, "a chunk length of " + std::to_string(length) +
                               " bytes passes the end of the file");
    }
    at = begin + length;  // other chunks are skipped by their length
  }
  if (file.tracks.empty()) return error(size, "no track (MTrk chunk) in the file");
  return std::nullopt;
}

std::string Describe(const MidiError& error) {
  return "byte " + std::to_string(error.offset) + ": " + error.message;
}

}  // namespace kettorin
