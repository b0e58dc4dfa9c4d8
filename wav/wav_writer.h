// The WAV writer: a finished composition as a 16-bit mono PCM RIFF/WAVE file.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>

namespace kettorin {

#ifdef _WIN32
using NativePath = std::wstring;  // opened as given, so no code page ever changes the target
#else
using NativePath = std::string;
#endif

// Where a composition goes: the path the file system opens, and the narrow form messages show.
struct OutputPath {
  std::string display;
  NativePath native;
};

// Bytes ahead of the samples: RIFF header, "fmt " chunk and "data" chunk header.
constexpr uint32_t kWavHeaderBytes = 44;

// The one conversion from a single-precision sample to 16-bit PCM: trunc(sample x 32767), so
// [-1, 1] maps to [-32767, 32767]. Beyond that it saturates at 32767 and -32768 (a sample slightly
// over full scale must not wrap into a full-scale click of the other sign), and NaN stores 0.
int16_t ToPcm16(float sample);

// Writes header and samples through the stream's own buffering. False when a write failed.
bool SerializeWav(std::FILE* out, int32_t sampleRate, std::span<const float> samples);

// What writes the bytes into the opened file; tests substitute one that fails part way.
using WavSerializer = bool (*)(std::FILE* out, int32_t sampleRate, std::span<const float> samples);

// Creates or replaces the file and prints the outcome ("Error: " lines on standard error, the
// created line on standard output). An existing regular file is replaced only once the new one is
// complete: on failure it is left as it was and nothing else remains. Returns true on success.
bool WriteWavFile(const OutputPath& path, int32_t sampleRate, std::span<const float> samples,
                  WavSerializer serialize = SerializeWav);

}  // namespace kettorin
