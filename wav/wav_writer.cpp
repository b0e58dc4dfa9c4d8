// The WAV writer: 44-byte canonical header, then one little-endian 16-bit value per sample.
#include "wav/wav_writer.h"

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

constexpr uint16_t kFormatPcm = 1;
constexpr uint16_t kChannels = 1;
constexpr uint16_t kBytesPerSample = 2;
constexpr uint16_t kBitsPerSample = 16;
constexpr uint32_t kFmtChunkBytes = 16;

}  // namespace

int16_t ToPcm16(float sample) {
  const float v = sample * 32767.0f;
  if (!(v == v)) return 0;
  // trunc(v) exceeds 32767 exactly when v >= 32768; saturating from 32767 on stores the same.
  if (v >= 32767.0f) return 32767;
  if (v <= -32768.0f) return -32768;
  return static_cast<int16_t>(static_cast<int32_t>(v));
}

bool SerializeWav(std::FILE* out, int32_t sampleRate, std::span<const float> samples) {
  // The caller keeps the count within what a 32-bit RIFF size can describe.
  const auto dataBytes = static_cast<uint32_t>(samples.size() * kBytesPerSample);
  const auto rate = static_cast<uint32_t>(sampleRate);

  // RIFF chunk: its size counts everything after these 8 bytes, i.e. the 36 remaining header
  // bytes ("WAVE", the 24-byte fmt chunk, the 8-byte data chunk header) plus the samples.
  PutTag(out, "RIFF");
  Put32(out, dataBytes + (kWavHeaderBytes - 8));
  PutTag(out, "WAVE");
  // fmt chunk: 16 bytes of format description.
  PutTag(out, "fmt ");
  Put32(out, kFmtChunkBytes);
  Put16(out, kFormatPcm);
  Put16(out, kChannels);
  Put32(out, rate);
  Put32(out, rate * kBytesPerSample * kChannels);  // bytes per second
  Put16(out, kBytesPerSample * kChannels);         // block align: bytes per sample frame
  Put16(out, kBitsPerSample);
  // data chunk: 2 bytes per sample.
  PutTag(out, "data");
  Put32(out, dataBytes);

  for (float sample : samples) Put16(out, static_cast<uint16_t>(ToPcm16(sample)));
  return std::ferror(out) == 0;
}

bool WriteWavFile(const OutputPath& path, int32_t sampleRate, std::span<const float> samples,
                  WavSerializer serialize) {
  OutputFile file = OpenOutputFile(path.native);
  if (file.stream == nullptr) {
    std::fprintf(stderr, "Error: Could not open file '%s' for writing.\n", path.display.c_str());
    return false;
  }
  if (!serialize(file.stream, sampleRate, samples)) {
    AbandonOutputFile(file);
    std::fprintf(stderr, "Error: Could not write file '%s'.\n", path.display.c_str());
    return false;
  }
  if (!CommitOutputFile(file)) {
    std::fprintf(stderr, "Error: Could not finish writing file '%s'.\n", path.display.c_str());
    return false;
  }
  std::printf("\xE2\x9C\x93 Created: %s\n", path.display.c_str());
  return true;
}

}  // namespace kettorin
