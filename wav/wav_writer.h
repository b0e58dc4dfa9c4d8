// The WAV writer: finished samples as a mono or stereo RIFF/WAVE file of 16- or 24-bit PCM or
// float.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <span>
#include <string>
#include <vector>

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

// How samples are stored: 16-bit PCM (what the library writes), 24-bit PCM, or the
// single-precision values themselves as IEEE float (the command's lossless option).
enum class WavFormat { kPcm16, kFloat32, kPcm24 };

// Bytes ahead of the samples: RIFF header, "fmt " chunk and "data" chunk header; float files also
// carry the 2-byte extension size in "fmt " and a 12-byte "fact" chunk.
constexpr uint32_t HeaderBytes(WavFormat format) {
  return format == WavFormat::kFloat32 ? 58 : 44;
}
constexpr uint32_t BytesPerSample(WavFormat format) {
  return format == WavFormat::kPcm16 ? 2 : format == WavFormat::kPcm24 ? 3 : 4;
}

// The most samples one file can describe, over all its channels: its RIFF size (everything after
// the first 8 bytes) is a 32-bit count.
constexpr int64_t MaxSamples(WavFormat format) {
  return (int64_t{0xFFFFFFFF} - (HeaderBytes(format) - 8)) / BytesPerSample(format);
}

// The highest sample rate one file can describe: its byte rate (rate x bytes per sample x
// channels) is a 32-bit count too. Every positive 32-bit rate fits in mono 16-bit PCM; mono float
// and stereo 16-bit stop short of 2^30.
constexpr int64_t MaxSampleRate(WavFormat format, int32_t channels = 1) {
  return int64_t{0xFFFFFFFF} / (BytesPerSample(format) * static_cast<uint32_t>(channels));
}

// The one conversion from a single-precision sample to 16-bit PCM: trunc(sample x 32767), so
// [-1, 1] maps to [-32767, 32767]. Beyond that it saturates at 32767 and -32768 (a sample slightly
// over full scale must not wrap into a full-scale click of the other sign), and NaN stores 0.
int16_t ToPcm16(float sample);

// The same for 24-bit PCM: trunc(sample x 8388607), saturating at 8388607 and -8388608, NaN 0.
int32_t ToPcm24(float sample);

// ToPcm16 of every sample, stored little-endian: two bytes each into out.
void ToPcm16Le(std::span<const float> samples, uint8_t* out);

// A marker: where it stands (a frame of the file) and what it is called.
struct WavCue {
  uint32_t frame = 0;
  std::string name;
};

// What a file holds besides its samples: how they are stored, and the markers and loop that
// DAWs and samplers read.
struct WavInfo {
  int32_t sampleRate = 44100;
  WavFormat format = WavFormat::kPcm16;
  int32_t channels = 1;       // 2: the samples are frames of a left and a right sample
  std::vector<WavCue> cues;   // a "cue " chunk of their frames and a LIST/adtl chunk of names
  bool loop = false;          // a "smpl" chunk with one forward loop over every frame
  bool flac = false;          // a FLAC file of the same PCM samples instead (no markers or loop)
};

// The bytes a file of `samples` samples takes after its first 8 (its RIFF size), which must fit
// 32 bits: the header, the samples, and the chunks after them (a pad byte first where the
// samples' bytes are odd).
uint64_t RiffBytes(const WavInfo& info, uint64_t samples);

// Writes header and samples in blocks of a few thousand samples, then the markers' and the loop's
// chunks. False when a write failed, and, with nothing written, for a rate above MaxSampleRate, a
// channel count other than 1 or 2, an odd count of stereo samples, a file whose RIFF size would
// pass 32 bits, or when no memory for a block is left.
bool SerializeWav(std::FILE* out, const WavInfo& info, std::span<const float> samples);

// The same for a file of samples alone.
inline bool SerializeWav(std::FILE* out, int32_t sampleRate, std::span<const float> samples,
                         WavFormat format = WavFormat::kPcm16, int32_t channels = 1) {
  WavInfo info;
  info.sampleRate = sampleRate;
  info.format = format;
  info.channels = channels;
  return SerializeWav(out, info, samples);
}

// What writes the bytes into the opened file; tests substitute one that fails part way.
using WavSerializer = bool (*)(std::FILE* out, const WavInfo& info,
                               std::span<const float> samples);

// Why a file was not written: the line a caller prints after "Error: ", and the system's own
// reason (errno), taken when the failing call returned, before any clean-up; 0 when it gave none.
struct WriteError {
  std::string message;
  int systemError = 0;
};

// Creates or replaces the file. Prints nothing: a failure comes back as its message. An existing
// regular file is replaced only once the new one is complete: on failure it is left as it was and
// nothing else remains.
// `inPlace`, when given, receives why a regular file had to be written straight into the target,
// without the safe replacement ("" when it was not).
std::optional<WriteError> WriteWavFile(const OutputPath& path, const WavInfo& info,
                                       std::span<const float> samples,
                                       WavSerializer serialize = SerializeWav,
                                       std::string* inPlace = nullptr);

// The same for a mono file of samples alone.
inline std::optional<WriteError> WriteWavFile(const OutputPath& path, int32_t sampleRate,
                                              std::span<const float> samples,
                                              WavFormat format = WavFormat::kPcm16,
                                              WavSerializer serialize = SerializeWav) {
  WavInfo info;
  info.sampleRate = sampleRate;
  info.format = format;
  return WriteWavFile(path, info, samples, serialize);
}

// Where a file goes, a WAV file or any other the calls write: a file by its path, or an open stream.
struct WavOutput {
  OutputPath path;              // the file to create or replace, and the name messages show
  std::FILE* stream = nullptr;  // when set, the file goes to this open stream instead
};

// Writes the WAV (or FLAC) file where the output says. A stream is flushed, not closed.
std::optional<WriteError> WriteWav(const WavOutput& output, const WavInfo& info,
                                   std::span<const float> samples, std::string* inPlace = nullptr);

// Writes any bytes (a MIDI file, a text) where the output says, a file with the same safe
// replacement.
std::optional<WriteError> WriteBytes(const WavOutput& output, std::span<const uint8_t> bytes,
                                     std::string* inPlace = nullptr);

}  // namespace kettorin
