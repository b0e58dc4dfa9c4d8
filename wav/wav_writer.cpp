// The WAV writer: canonical header, then one little-endian value per sample.
#include "wav/wav_writer.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <memory>
#include <new>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define KETTORIN_PCM_SSE2
#endif

#include "wav/flac_writer.h"
#include "wav/output_file.h"

namespace kettorin {

namespace {

// Little-endian, byte by byte, whatever the host's own order.
uint8_t* Put16(uint8_t* at, uint16_t v) {
  at[0] = static_cast<uint8_t>(v & 0xFF);
  at[1] = static_cast<uint8_t>(v >> 8);
  return at + 2;
}

uint8_t* Put32(uint8_t* at, uint32_t v) {
  for (int shift = 0; shift < 32; shift += 8) *at++ = static_cast<uint8_t>(v >> shift);
  return at;
}

uint8_t* PutTag(uint8_t* at, const char (&tag)[5]) {
  for (int i = 0; i < 4; ++i) *at++ = static_cast<uint8_t>(tag[i]);
  return at;
}

constexpr uint16_t kFormatTagPcm = 1;
constexpr uint16_t kFormatTagFloat = 3;

// Samples converted per write: 32 KiB of PCM (64 KiB of float), large enough that the writes cost
// little beside the copying. The block is allocated per call: on the stack it would overflow the
// 64 KiB stack a WebAssembly program gets.
constexpr size_t kBlockSamples = 16384;
constexpr size_t kBlockBytes = HeaderBytes(WavFormat::kFloat32) + kBlockSamples * 4;

// The IEEE bits of each sample, little-endian.
void ToFloat32Le(std::span<const float> samples, uint8_t* out) {
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(out, samples.data(), samples.size_bytes());
  } else {
    for (float sample : samples) out = Put32(out, std::bit_cast<uint32_t>(sample));
  }
}

}  // namespace

int32_t ToPcm24(float sample) {
  const float v = sample * 8388607.0f;
  if (!(v == v)) return 0;
  if (v >= 8388607.0f) return 8388607;
  if (v <= -8388608.0f) return -8388608;
  return static_cast<int32_t>(v);
}

int16_t ToPcm16(float sample) {
  const float v = sample * 32767.0f;
  if (!(v == v)) return 0;
  // trunc(v) exceeds 32767 exactly when v >= 32768; saturating from 32767 on stores the same.
  if (v >= 32767.0f) return 32767;
  if (v <= -32768.0f) return -32768;
  return static_cast<int16_t>(static_cast<int32_t>(v));
}

void ToPcm16Le(std::span<const float> samples, uint8_t* out) {
  size_t i = 0;
#ifdef KETTORIN_PCM_SSE2
  // Eight samples at a time, the same conversion: the same float product; max then min keep NaN
  // at -32768, and the ordered mask turns it into 0; the clamped value truncates exactly and
  // packs without further saturation. x86 stores little-endian.
  const __m128 scale = _mm_set1_ps(32767.0f);
  const __m128 top = _mm_set1_ps(32767.0f);
  const __m128 bottom = _mm_set1_ps(-32768.0f);
  auto convert = [&](__m128 x) {
    const __m128 v = _mm_mul_ps(x, scale);
    const __m128 clamped = _mm_min_ps(_mm_max_ps(v, bottom), top);
    return _mm_cvttps_epi32(_mm_and_ps(clamped, _mm_cmpord_ps(v, v)));
  };
  for (; i + 8 <= samples.size(); i += 8) {
    const __m128i low = convert(_mm_loadu_ps(samples.data() + i));
    const __m128i high = convert(_mm_loadu_ps(samples.data() + i + 4));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * i), _mm_packs_epi32(low, high));
  }
#endif
  for (; i < samples.size(); ++i) Put16(out + 2 * i, static_cast<uint16_t>(ToPcm16(samples[i])));
}

namespace {

// The chunks after the samples: each cue point 24 bytes, each name a "labl" chunk of its ID and
// its text with a NUL, padded to an even size; the loop a 60-byte "smpl" chunk body.
uint64_t LabelBytes(const WavCue& cue) {
  const uint64_t body = 4 + cue.name.size() + 1;
  return 8 + body + (body & 1);
}

uint64_t TrailingBytes(const WavInfo& info, uint64_t dataBytes) {
  uint64_t bytes = dataBytes & 1;  // the pad byte after odd sample data
  if (!info.cues.empty()) {
    bytes += 12 + 24 * static_cast<uint64_t>(info.cues.size());
    bytes += 12;  // "LIST", its size, "adtl"
    for (const WavCue& cue : info.cues) bytes += LabelBytes(cue);
  }
  if (info.loop) bytes += 8 + 60;
  return bytes;
}

void PutBytes(std::vector<uint8_t>& out, std::initializer_list<uint32_t> words) {
  for (uint32_t v : words) {
    for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<uint8_t>(v >> shift));
  }
}

void PutTag(std::vector<uint8_t>& out, const char (&tag)[5]) {
  out.insert(out.end(), tag, tag + 4);
}

// The markers and the loop, after the samples.
std::vector<uint8_t> TrailingChunks(const WavInfo& info, uint64_t dataBytes, uint32_t frames) {
  std::vector<uint8_t> out;
  if ((dataBytes & 1) != 0) out.push_back(0);
  if (!info.cues.empty()) {
    const auto count = static_cast<uint32_t>(info.cues.size());
    PutTag(out, "cue ");
    PutBytes(out, {4 + 24 * count, count});
    for (uint32_t i = 0; i < count; ++i) {
      // ID (from 1), play order position, the chunk holding the samples, its start and the
      // block's (0 for a plain data chunk), and the frame.
      const uint32_t frame = info.cues[i].frame;
      PutBytes(out, {i + 1, frame});
      PutTag(out, "data");
      PutBytes(out, {0, 0, frame});
    }
    uint64_t list = 4;
    for (const WavCue& cue : info.cues) list += LabelBytes(cue);
    PutTag(out, "LIST");
    PutBytes(out, {static_cast<uint32_t>(list)});
    PutTag(out, "adtl");
    for (uint32_t i = 0; i < count; ++i) {
      const std::string& name = info.cues[i].name;
      const auto body = static_cast<uint32_t>(4 + name.size() + 1);
      PutTag(out, "labl");
      PutBytes(out, {body, i + 1});
      out.insert(out.end(), name.begin(), name.end());
      out.push_back(0);
      if ((body & 1) != 0) out.push_back(0);
    }
  }
  if (info.loop) {
    // Maker and product 0, the sample period in nanoseconds, unity note 60 (middle C), no pitch
    // fraction or SMPTE offset, one loop and no sampler data; the loop: ID 0, forward (type 0),
    // from the first frame to the last (inclusive), no fraction, played without end (count 0).
    const auto period = static_cast<uint32_t>(
        (uint64_t{1000000000} + static_cast<uint64_t>(info.sampleRate) / 2) /
        static_cast<uint64_t>(info.sampleRate));
    PutTag(out, "smpl");
    PutBytes(out, {60, 0, 0, period, 60, 0, 0, 0, 1, 0});
    PutBytes(out, {0, 0, 0, frames == 0 ? 0 : frames - 1, 0, 0});
  }
  return out;
}

}  // namespace

uint64_t RiffBytes(const WavInfo& info, uint64_t samples) {
  const uint64_t dataBytes = samples * BytesPerSample(info.format);
  return (HeaderBytes(info.format) - 8) + dataBytes + TrailingBytes(info, dataBytes);
}

bool SerializeWav(std::FILE* out, const WavInfo& info, std::span<const float> samples) {
  const WavFormat format = info.format;
  const int32_t channels = info.channels;
  if (channels != 1 && channels != 2) return false;
  if (samples.size() % static_cast<size_t>(channels) != 0) return false;  // a frame cut in half
  // Past the highest rate the byte rate would wrap, and the header would lie.
  if (info.sampleRate > MaxSampleRate(format, channels)) return false;
  const uint64_t riffBytes = RiffBytes(info, samples.size());
  if (riffBytes > 0xFFFFFFFF) return false;
  const std::unique_ptr<uint8_t[]> block(new (std::nothrow) uint8_t[kBlockBytes]);
  if (block == nullptr) return false;

  const bool pcm = format != WavFormat::kFloat32;
  const uint16_t bytesPerSample = static_cast<uint16_t>(BytesPerSample(format));
  const auto dataBytes = static_cast<uint32_t>(samples.size() * bytesPerSample);
  const auto rate = static_cast<uint32_t>(info.sampleRate);
  const auto frames = static_cast<uint32_t>(samples.size() / static_cast<size_t>(channels));

  // The header leads the first block, so that it goes out with the first samples.
  uint8_t* at = block.get();
  // RIFF chunk: its size counts everything after its first 8 bytes: the rest of the header
  // (36 bytes for PCM, 50 for float), the samples and the chunks after them.
  at = PutTag(at, "RIFF");
  at = Put32(at, static_cast<uint32_t>(riffBytes));
  at = PutTag(at, "WAVE");
  // fmt chunk: 16 bytes of format description; non-PCM formats add a 2-byte extension size (0).
  at = PutTag(at, "fmt ");
  at = Put32(at, pcm ? 16 : 18);
  at = Put16(at, pcm ? kFormatTagPcm : kFormatTagFloat);
  const auto frameBytes = static_cast<uint16_t>(bytesPerSample * channels);
  at = Put16(at, static_cast<uint16_t>(channels));
  at = Put32(at, rate);
  at = Put32(at, rate * frameBytes);  // bytes per second
  at = Put16(at, frameBytes);         // block align: bytes per sample frame
  at = Put16(at, bytesPerSample * 8); // bits per sample
  if (!pcm) {
    at = Put16(at, 0);
    // fact chunk: 4 bytes holding the number of sample frames, which non-PCM files carry.
    at = PutTag(at, "fact");
    at = Put32(at, 4);
    at = Put32(at, frames);
  }
  // data chunk.
  at = PutTag(at, "data");
  at = Put32(at, dataBytes);

  size_t done = 0;
  do {
    const std::span<const float> part =
        samples.subspan(done, std::min(kBlockSamples, samples.size() - done));
    if (format == WavFormat::kPcm16) {
      ToPcm16Le(part, at);
    } else if (format == WavFormat::kPcm24) {
      for (size_t i = 0; i < part.size(); ++i) {
        const auto v = static_cast<uint32_t>(ToPcm24(part[i]));
        at[3 * i] = static_cast<uint8_t>(v & 0xFF);
        at[3 * i + 1] = static_cast<uint8_t>((v >> 8) & 0xFF);
        at[3 * i + 2] = static_cast<uint8_t>((v >> 16) & 0xFF);
      }
    } else {
      ToFloat32Le(part, at);
    }
    const size_t bytes = static_cast<size_t>(at - block.get()) + part.size() * bytesPerSample;
    if (std::fwrite(block.get(), 1, bytes, out) != bytes) return false;
    done += part.size();
    at = block.get();
  } while (done < samples.size());
  const std::vector<uint8_t> trailing = TrailingChunks(info, dataBytes, frames);
  if (!trailing.empty() && std::fwrite(trailing.data(), 1, trailing.size(), out) != trailing.size()) {
    return false;
  }
  return std::ferror(out) == 0;
}

namespace {

// Writes through the safe replacement: a new file beside the target, moved over it once complete.
template <class Write>
std::optional<WriteError> ReplaceFile(const OutputPath& path, std::string* inPlace, Write write) {
  OutputFile file = OpenOutputFile(path.native);
  if (inPlace != nullptr) *inPlace = file.inPlace ? file.inPlaceReason : "";
  if (file.stream == nullptr) {
    return WriteError{"Could not open file '" + path.display + "' for writing.", file.error};
  }
  errno = 0;
  if (!write(file.stream)) {
    const int error = errno;  // before the clean-up's own calls change it
    AbandonOutputFile(file);
    return WriteError{"Could not write file '" + path.display + "'.", error};
  }
  if (!CommitOutputFile(file)) {
    return WriteError{"Could not finish writing file '" + path.display + "'.", file.error};
  }
  return std::nullopt;
}

// Writes onto the output's stream and flushes it, or into its file through the safe replacement.
template <class Write>
std::optional<WriteError> WriteTo(const WavOutput& output, std::string* inPlace, Write write) {
  if (output.stream == nullptr) return ReplaceFile(output.path, inPlace, write);
  errno = 0;
  if (!write(output.stream) || std::fflush(output.stream) != 0) {
    return WriteError{"Could not write file '" + output.path.display + "'.", errno};
  }
  return std::nullopt;
}

}  // namespace

std::optional<WriteError> WriteWavFile(const OutputPath& path, const WavInfo& info,
                                       std::span<const float> samples, WavSerializer serialize,
                                       std::string* inPlace) {
  return ReplaceFile(path, inPlace,
                     [&](std::FILE* stream) { return serialize(stream, info, samples); });
}

std::optional<WriteError> WriteWav(const WavOutput& output, const WavInfo& info,
                                   std::span<const float> samples, std::string* inPlace) {
  const WavSerializer serialize =
      info.flac ? WavSerializer{SerializeFlac} : static_cast<WavSerializer>(SerializeWav);
  return WriteTo(output, inPlace,
                 [&](std::FILE* stream) { return serialize(stream, info, samples); });
}

std::optional<WriteError> WriteBytes(const WavOutput& output, std::span<const uint8_t> bytes,
                                     std::string* inPlace) {
  return WriteTo(output, inPlace, [&](std::FILE* stream) {
    return std::fwrite(bytes.data(), 1, bytes.size(), stream) == bytes.size();
  });
}

}  // namespace kettorin
