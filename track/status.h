// How a call ends: the status codes every call returns, and the message of a failure.
#pragma once

#include <cstdint>
#include <string>

namespace kettorin {

enum Status : int32_t {
  kStatusDone = 999,
  kStatusNullArgument = 10,
  kStatusBadSampleRate = 11,
  kStatusBadTempo = 12,
  kStatusNoStorage = 13,  // too long for a WAV file, or out of memory
  kStatusNotWritten = 14,
  kStatusBadInput = 15,  // a beat text or MIDI file that cannot be read
  kStatusBufferTooSmall = 16,  // the caller's memory cannot hold the result
};

// A call that cannot go on: its status and one line saying why (no "Error: ", no newline).
struct Failure {
  int32_t status = 0;
  std::string message;
};

}  // namespace kettorin
