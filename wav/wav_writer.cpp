// The WAV writer: canonical header, then one little-endian value per sample.
#include "wav/wav_writer.h"

#include <bit>

#include "wav/output_file.h"

namespace kettorin {

namespace {

// stdio's per-character output without the stream lock: the stream belongs to this call alone.
inline void PutByte(std::FILE* out, uint8_t byte) {
#ifdef _WIN32
  _putc_nolock(byte, out);
#else
  putc_unlocked(byte, out);
#endif
}

// Little-endian, byte by byte, whatever the host's own order.
void Put16(std::FILE* out, uint16_t v) {
  PutByte(out, static_cast<uint8_t>(v & 0xFF));
  PutByte(out, static_cast<uint8_t>(v >> 8));
}

void Put32(std::FILE* out, uint32_t v) {
  for (int shift = 0; shift < 32; shift += 8) PutByte(out, static_cast<uint8_t>(v >> shift));
}

void PutTag(std::FILE* out, const char (&tag)[5]) {
  for (int i = 0; i < 4; ++i) PutByte(out, static_cast<uint8_t>(tag[i]));
}

constexpr uint16_t kFormatTagPcm = 1;
constexpr uint16_t kFormatTagFloat = 3;
constexpr uint16_t kChannels = 1;

}  // namespace

int16_t ToPcm16(float sample) {
  const float v = sample * 32767.0f;
  if (!(v == v)) return 0;
  // trunc(v) exceeds 32767 exactly when v >= 32768; saturating from 32767 on stores the same.
  if (v >= 32767.0f) return 32767;
  if (v <= -32768.0f) return -32768;
  return static_cast<int16_t>(static_cast<int32_t>(v));
}

bool SerializeWav(std::FILE* out, int32_t sampleRate, std::span<const float> samples,
                  WavFormat format) {
  const bool pcm = format == WavFormat::kPcm16;
  const uint16_t bytesPerSample = static_cast<uint16_t>(BytesPerSample(format));
  // The caller keeps the count within what a 32-bit RIFF size can describe.
  const auto dataBytes = static_cast<uint32_t>(samples.size() * bytesPerSample);
  const auto rate = static_cast<uint32_t>(sampleRate);

  // RIFF chunk: its size counts everything after its first 8 bytes: the rest of the header
  // (36 bytes for PCM, 50 for float) and the samples.
  PutTag(out, "RIFF");
  Put32(out, dataBytes + (HeaderBytes(format) - 8));
  PutTag(out, "WAVE");
  // fmt chunk: 16 bytes of format description; non-PCM formats add a 2-byte extension size (0).
  PutTag(out, "fmt ");
  Put32(out, pcm ? 16 : 18);
  Put16(out, pcm ? kFormatTagPcm : kFormatTagFloat);
  Put16(out, kChannels);
  Put32(out, rate);
  Put32(out, rate * bytesPerSample * kChannels);  // bytes per second
  Put16(out, bytesPerSample * kChannels);         // block align: bytes per sample frame
  Put16(out, bytesPerSample * 8);                 // bits per sample
  if (!pcm) {
    Put16(out, 0);
    // fact chunk: 4 bytes holding the number of sample frames, which non-PCM files carry.
    PutTag(out, "fact");
    Put32(out, 4);
    Put32(out, static_cast<uint32_t>(samples.size()));
  }
  // data chunk.
  PutTag(out, "data");
  Put32(out, dataBytes);

  if (pcm) {
    for (float sample : samples) Put16(out, static_cast<uint16_t>(ToPcm16(sample)));
  } else {
    for (float sample : samples) Put32(out, std::bit_cast<uint32_t>(sample));
  }
  return std::ferror(out) == 0;
}

bool WriteWavFile(const OutputPath& path, int32_t sampleRate, std::span<const float> samples,
                  WavFormat format, WavSerializer serialize, std::FILE* report) {
  OutputFile file = OpenOutputFile(path.native);
  if (file.stream == nullptr) {
    std::fprintf(stderr, "Error: Could not open file '%s' for writing.\n", path.display.c_str());
    return false;
  }
  if (!serialize(file.stream, sampleRate, samples, format)) {
    AbandonOutputFile(file);
    std::fprintf(stderr, "Error: Could not write file '%s'.\n", path.display.c_str());
    return false;
  }
  if (!CommitOutputFile(file)) {
    std::fprintf(stderr, "Error: Could not finish writing file '%s'.\n", path.display.c_str());
    return false;
  }
  if (report != nullptr) std::fprintf(report, "\xE2\x9C\x93 Created: %s\n", path.display.c_str());
  return true;
}

bool WriteWav(const WavOutput& output, int32_t sampleRate, std::span<const float> samples) {
  if (output.stream == nullptr) {
    return WriteWavFile(output.path, sampleRate, samples, output.format, SerializeWav,
                        output.report);
  }
  if (!SerializeWav(output.stream, sampleRate, samples, output.format) ||
      std::fflush(output.stream) != 0) {
    std::fprintf(stderr, "Error: Could not write file '%s'.\n", output.path.display.c_str());
    return false;
  }
  if (output.report != nullptr) {
    std::fprintf(output.report, "\xE2\x9C\x93 Created: %s\n", output.path.display.c_str());
  }
  return true;
}

}  // namespace kettorin
