// Fuzzes the exported function: arbitrary UTF-16 drum name and notes, small sample rates and any
// tempo, written to a temporary file. A finished call must leave a WAV file whose sizes agree.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "kettorin.h"

namespace {

// In memory where the system has a folder for it: each run's fsync would otherwise wait for a disk.
std::string OutputPath() {
  static const std::string folder = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
  return folder + "/kettorin-fuzz-" + std::to_string(::getpid()) + ".wav";
}

uint32_t Le32(const unsigned char* b) {
  return b[0] | b[1] << 8 | b[2] << 16 | b[3] << 24u;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 8) return 0;
  int32_t rate, tempo;
  std::memcpy(&rate, data, 4);
  std::memcpy(&tempo, data + 4, 4);
  rate = rate % 1024;                        // negative, zero and small rates: short files
  if (tempo % 4 != 0) tempo = tempo % 1100;  // mostly near the valid range, sometimes anything

  // The rest is UTF-16: the drum name up to the first 0 unit, then the notes.
  std::u16string units((size - 8) / 2, u'\0');
  std::memcpy(units.data(), data + 8, units.size() * 2);
  const size_t split = units.find(u'\0');
  const std::u16string drum = units.substr(0, split);
  const std::u16string notes = split == std::u16string::npos ? u"" : units.substr(split + 1);
  std::u16string path;
  for (char c : OutputPath()) path.push_back(static_cast<char16_t>(c));

  const int32_t status = KettorinCompose(drum.c_str(), notes.c_str(), rate, path.c_str(), tempo);
  if (status == KETTORIN_DONE) {
    std::FILE* file = std::fopen(OutputPath().c_str(), "rb");
    if (file == nullptr) __builtin_trap();
    unsigned char header[44];
    if (std::fread(header, 1, 44, file) != 44) __builtin_trap();
    std::fseek(file, 0, SEEK_END);
    const long bytes = std::ftell(file);
    std::fclose(file);
    if (Le32(header + 4) + 8 != static_cast<uint32_t>(bytes)) __builtin_trap();
    if (Le32(header + 40) + 44 != static_cast<uint32_t>(bytes)) __builtin_trap();
    if (static_cast<int32_t>(Le32(header + 24)) != rate) __builtin_trap();
  } else if (status < 10 || status > 14) {
    __builtin_trap();
  }
  std::remove(OutputPath().c_str());
  return 0;
}
