// FLAC through libsndfile's virtual I/O, onto the stream the safe replacement opened, so that a
// FLAC file replaces its target as safely as a WAV file does.
#include "wav/flac_writer.h"

#include <vector>

#ifdef KETTORIN_HAVE_SNDFILE
#include <sndfile.h>
#endif

namespace kettorin {

#ifdef KETTORIN_HAVE_SNDFILE

namespace {

std::FILE* Stream(void* user) {
  return static_cast<std::FILE*>(user);
}

sf_count_t Length(void* user) {
  std::FILE* f = Stream(user);
  const long at = std::ftell(f);
  if (at < 0 || std::fseek(f, 0, SEEK_END) != 0) return -1;
  const long end = std::ftell(f);
  std::fseek(f, at, SEEK_SET);
  return end;
}

sf_count_t Seek(sf_count_t offset, int whence, void* user) {
  std::FILE* f = Stream(user);
  if (std::fseek(f, static_cast<long>(offset), whence) != 0) return -1;
  return std::ftell(f);
}

sf_count_t Read(void* into, sf_count_t count, void* user) {
  return static_cast<sf_count_t>(std::fread(into, 1, static_cast<size_t>(count), Stream(user)));
}

sf_count_t Write(const void* from, sf_count_t count, void* user) {
  return static_cast<sf_count_t>(std::fwrite(from, 1, static_cast<size_t>(count), Stream(user)));
}

sf_count_t Tell(void* user) {
  return std::ftell(Stream(user));
}

}  // namespace

bool FlacAvailable() {
  return true;
}

bool SerializeFlac(std::FILE* out, const WavInfo& wav, std::span<const float> samples) {
  const WavFormat format = wav.format;
  const int32_t channels = wav.channels;
  if (format == WavFormat::kFloat32 || (channels != 1 && channels != 2)) return false;
  if (samples.size() % static_cast<size_t>(channels) != 0) return false;
  SF_VIRTUAL_IO io{Length, Seek, Read, Write, Tell};
  SF_INFO info{};
  info.samplerate = wav.sampleRate;
  info.channels = channels;
  info.format = SF_FORMAT_FLAC | (format == WavFormat::kPcm24 ? SF_FORMAT_PCM_24 : SF_FORMAT_PCM_16);
  SNDFILE* file = sf_open_virtual(&io, SFM_WRITE, &info, out);
  if (file == nullptr) return false;
  // libsndfile's int samples are 32-bit: a 16- or 24-bit value goes in its top bits, exactly.
  constexpr size_t kBlock = 16384;  // samples: whole frames of one or two
  std::vector<int> block;
  block.reserve(kBlock);
  bool written = true;
  for (size_t done = 0; done < samples.size() && written; done += kBlock) {
    block.clear();
    const size_t n = std::min(kBlock, samples.size() - done);
    for (size_t i = 0; i < n; ++i) {
      const float x = samples[done + i];
      block.push_back(format == WavFormat::kPcm24 ? ToPcm24(x) * 256 : ToPcm16(x) * 65536);
    }
    // sf_write_int counts samples over all channels, frame by frame.
    written = sf_write_int(file, block.data(), static_cast<sf_count_t>(n)) ==
              static_cast<sf_count_t>(n);
  }
  const bool closed = sf_close(file) == 0;
  return written && closed && std::ferror(out) == 0;
}

#else

bool FlacAvailable() {
  return false;
}

bool SerializeFlac(std::FILE*, const WavInfo&, std::span<const float>) {
  return false;
}

#endif

}  // namespace kettorin
