// The WAV writer: exact bytes, the one sample conversion, and safe replacement of the target.
#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <bit>
#include <cerrno>
#include <climits>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>
#include <vector>

#include "tests/test_support.h"
#include "wav/output_file.h"
#include "wav/wav_writer.h"

namespace kettorin {
namespace {

namespace fs = std::filesystem;

using testing_support::ReadBytes;

// What a write says: "" when it succeeded, otherwise its message.
std::string Outcome(const std::optional<WriteError>& error) {
  return error ? error->message : "";
}

// What SerializeWav writes, through a temporary file; false when it refused or failed.
bool SerializeToBytes(std::span<const float> samples, int32_t rate, WavFormat format,
                      std::vector<uint8_t>& bytes, int32_t channels = 1) {
  std::FILE* file = std::tmpfile();
  if (file == nullptr) return false;
  const bool written = SerializeWav(file, rate, samples, format, channels);
  bytes.resize(static_cast<size_t>(std::ftell(file)));
  std::rewind(file);
  const bool read = std::fread(bytes.data(), 1, bytes.size(), file) == bytes.size();
  std::fclose(file);
  return written && read;
}

std::vector<uint8_t> Serialized(std::span<const float> samples, int32_t rate, WavFormat format,
                                int32_t channels = 1) {
  std::vector<uint8_t> bytes;
  EXPECT_TRUE(SerializeToBytes(samples, rate, format, bytes, channels));
  return bytes;
}

struct Conversion {
  float sample;
  int16_t stored;
};

TEST(WavWriter, ConvertsEverySampleInOnePlaceAndSaturates) {
  const Conversion cases[] = {
      {0.0f, 0},
      {-0.0f, 0},
      {1.0f, 32767},
      {-1.0f, -32767},
      {0.5f, 16383},
      {-0.5f, -16383},
      {1e-6f, 0},
      {-1e-6f, 0},
      // Past full scale the value saturates rather than wrapping to the other sign.
      {1.0001f, 32767},
      {-1.0001f, -32768},
      {1.5f, 32767},
      {-1.5f, -32768},
      {1e10f, 32767},
      {-1e10f, -32768},
      {INFINITY, 32767},
      {-INFINITY, -32768},
      {NAN, 0},
      {-NAN, 0},
      // -32768 itself is reachable: -32768 / 32767 in single precision truncates to it.
      {-32768.0f / 32767.0f, -32768}};
  for (const Conversion& c : cases) EXPECT_EQ(ToPcm16(c.sample), c.stored) << c.sample;
  // 24 bits: the same rule at 8388607.
  const struct {
    float sample;
    int32_t stored;
  } wide[] = {{1.0f, 8388607},   {-1.0f, -8388607},  {0.5f, 4194303}, {-0.5f, -4194303},
              {1e-7f, 0},        {1.0001f, 8388607}, {-1.5f, -8388608}, {INFINITY, 8388607},
              {-INFINITY, -8388608}, {NAN, 0},       {-8388608.0f / 8388607.0f, -8388608}};
  for (const auto& c : wide) EXPECT_EQ(ToPcm24(c.sample), c.stored) << c.sample;
}

// The block conversion agrees with the one conversion at every length and alignment, and the
// bytes are little-endian. (tests/long/pcm16_every_float.cpp goes through all 2^32 floats.)
TEST(WavWriter, BlockConversionStoresTheOneConversionLittleEndian) {
  std::vector<float> samples = {0.0f, -0.0f, 1.0f, -1.0f, NAN, -NAN, INFINITY, -INFINITY,
                                1.0001f, -1.0001f, 32767.0f / 32767.0f, -32768.0f / 32767.0f,
                                0.99999f, 1e-40f, -1e-40f, 0.5f, -0.5f, 3e38f, -3e38f, 0.25f};
  for (int i = 0; i < 100; ++i) samples.push_back(static_cast<float>(i * 37 % 201) / 100 - 1);
  for (size_t offset : {0u, 1u, 3u}) {
    for (size_t n = 0; offset + n <= samples.size(); ++n) {
      const std::span<const float> part = std::span<const float>(samples).subspan(offset, n);
      std::vector<uint8_t> bytes(2 * n + 1, 0xAB);
      ToPcm16Le(part, bytes.data());
      for (size_t k = 0; k < n; ++k) {
        const auto v = static_cast<uint16_t>(ToPcm16(part[k]));
        ASSERT_EQ(bytes[2 * k], v & 0xFF) << offset << "+" << k << " of " << n;
        ASSERT_EQ(bytes[2 * k + 1], v >> 8) << offset << "+" << k << " of " << n;
      }
      EXPECT_EQ(bytes[2 * n], 0xAB);  // nothing past the end
    }
  }
}

TEST(WavWriter, LongCompositionsAreWrittenWholeAcrossBlocks) {
  // Past one block of samples, every sample in its place, for both formats.
  std::vector<float> samples(40000);
  for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<float>(i % 997) / 500 - 1;
  const std::vector<uint8_t> pcm = Serialized(samples, 8000, WavFormat::kPcm16);
  const std::vector<uint8_t> wide = Serialized(samples, 8000, WavFormat::kFloat32);
  ASSERT_EQ(pcm.size(), 44 + 2 * samples.size());
  ASSERT_EQ(wide.size(), 58 + 4 * samples.size());
  for (size_t i = 0; i < samples.size(); i += 331) {
    const auto v = static_cast<uint16_t>(ToPcm16(samples[i]));
    EXPECT_EQ(pcm[44 + 2 * i] | pcm[45 + 2 * i] << 8, v) << i;
    const auto bits = std::bit_cast<uint32_t>(samples[i]);
    EXPECT_EQ(wide[58 + 4 * i] | wide[59 + 4 * i] << 8 | wide[60 + 4 * i] << 16 |
                  static_cast<uint32_t>(wide[61 + 4 * i]) << 24,
              bits)
        << i;
  }
}

// A thread with the 64 KiB stack of a WebAssembly program writes the same file, across blocks,
// as the main thread: the writer's working memory is not on the stack.
TEST(WavWriter, WritesTheSameFileOnASmallStack) {
  struct Job {
    std::vector<float> samples = std::vector<float>(20000);
    std::vector<uint8_t> bytes;
    bool written = false;
  } job;
  for (size_t i = 0; i < job.samples.size(); ++i) {
    job.samples[i] = static_cast<float>(i % 613) / 300 - 1;
  }
  auto run = [](void* arg) -> void* {
    auto& job = *static_cast<Job*>(arg);
    job.written = SerializeToBytes(job.samples, 8000, WavFormat::kFloat32, job.bytes);
    return nullptr;
  };
  pthread_attr_t small{};
  ASSERT_EQ(::pthread_attr_init(&small), 0);
  ASSERT_EQ(::pthread_attr_setstacksize(&small, size_t{64} << 10), 0);
  pthread_t thread{};
  ASSERT_EQ(::pthread_create(&thread, &small, run, &job), 0);
  ::pthread_join(thread, nullptr);
  ::pthread_attr_destroy(&small);
  EXPECT_TRUE(job.written);
  EXPECT_EQ(job.bytes, Serialized(job.samples, 8000, WavFormat::kFloat32));
}

TEST(WavWriter, WritesTheCanonicalHeaderAndLittleEndianSamples) {
  const float samples[] = {1.0f, -1.0f, 0.5f};
  const std::vector<uint8_t> expected = {'R', 'I',  'F',  'F',  42,   0,    0,    0,    'W',
                                         'A', 'V',  'E',  'f',  'm',  't',  ' ',  16,   0,
                                         0,   0,    1,    0,    1,    0,    0x20, 0x03, 0,
                                         0,   0x40, 0x06, 0,    0,  // 800 Hz, 1600 B/s
                                         2,   0,    16,   0,    'd',  'a',  't',  'a',  6,
                                         0,   0,    0,    0xFF, 0x7F, 0x01, 0x80, 0xFF, 0x3F};
  EXPECT_EQ(Serialized(samples, 800, WavFormat::kPcm16), expected);
  // 24-bit PCM: format 1, 3 bytes a sample, 2400 B/s at 800 Hz; 9 bytes of samples take a pad
  // byte after them, which the RIFF size counts.
  const std::vector<uint8_t> wide = {
      'R', 'I', 'F', 'F', 46, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ', 16, 0, 0, 0,
      1, 0, 1, 0, 0x20, 0x03, 0, 0, 0x60, 0x09, 0, 0, 3, 0, 24, 0, 'd', 'a', 't', 'a', 9, 0, 0, 0,
      0xFF, 0xFF, 0x7F, 0x01, 0x00, 0x80, 0xFF, 0xFF, 0x3F, 0};
  EXPECT_EQ(Serialized(samples, 800, WavFormat::kPcm24), wide);
  // Stereo: two channels, 3200 B/s at 800 Hz, 4 bytes a frame; each frame's left sample first.
  const float frames[] = {1.0f, -1.0f, 0.5f, 0.0f};
  const std::vector<uint8_t> stereo = {
      'R', 'I', 'F', 'F', 44, 0, 0, 0, 'W', 'A', 'V', 'E', 'f', 'm', 't', ' ', 16, 0, 0, 0,
      1, 0, 2, 0, 0x20, 0x03, 0, 0, 0x80, 0x0C, 0, 0, 4, 0, 16, 0, 'd', 'a', 't', 'a', 8, 0, 0, 0,
      0xFF, 0x7F, 0x01, 0x80, 0xFF, 0x3F, 0x00, 0x00};
  EXPECT_EQ(Serialized(frames, 800, WavFormat::kPcm16, 2), stereo);
  // Half a frame, or a channel count a file of ours never has, is refused with nothing written.
  std::vector<uint8_t> refused;
  EXPECT_FALSE(SerializeToBytes(samples, 800, WavFormat::kPcm16, refused, 2));
  EXPECT_FALSE(SerializeToBytes(frames, 800, WavFormat::kPcm16, refused, 3));
  EXPECT_TRUE(refused.empty());
}

TEST(WavWriter, EmptyCompositionIsAValidFileWithAnEmptyDataChunk) {
  const std::vector<uint8_t> bytes = Serialized({}, 44100, WavFormat::kPcm16);
  ASSERT_EQ(bytes.size(), 44u);
  EXPECT_EQ(bytes[4], 36);
  EXPECT_EQ(bytes[40] | bytes[41] | bytes[42] | bytes[43], 0);
}

TEST(WavWriter, FloatFilesCarryFormatThreeAndAFactChunk) {
  const float samples[] = {0.25f, -2.0f};
  const std::vector<uint8_t> bytes = Serialized(samples, 8000, WavFormat::kFloat32);
  ASSERT_EQ(bytes.size(), 58u + 8u);
  EXPECT_EQ(bytes[4], 50 + 8);  // RIFF size
  EXPECT_EQ(bytes[16], 18);     // fmt size with the extension field
  EXPECT_EQ(bytes[20], 3);      // IEEE float
  EXPECT_EQ(bytes[34], 32);     // bits per sample
  EXPECT_EQ(std::string(bytes.begin() + 38, bytes.begin() + 42), "fact");
  EXPECT_EQ(bytes[46], 2);  // sample frames
  EXPECT_EQ(bytes[54], 8);  // data size
  // The samples unconverted: 0.25f is 0x3E800000, -2.0f is 0xC0000000.
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 58, bytes.end()),
            (std::vector<uint8_t>{0, 0, 0x80, 0x3E, 0, 0, 0, 0xC0}));
}

uint32_t Le32(const std::vector<uint8_t>& bytes, size_t at) {
  return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 |
         static_cast<uint32_t>(bytes[at + 3]) << 24;
}

// The byte rate is a 32-bit count as well: up to the highest rate it is exact, past it the file
// is refused before a byte is written.
TEST(WavWriter, RatesWhoseByteRateWouldWrapAreRefusedWithNothingWritten) {
  const struct {
    WavFormat format;
    int32_t channels;
    int32_t rate;
    bool written;
    uint32_t byteRate;
  } cases[] = {
      {WavFormat::kFloat32, 1, (1 << 30) - 1, true, 0xFFFFFFFC},
      {WavFormat::kFloat32, 1, 1 << 30, false, 0},
      {WavFormat::kFloat32, 1, INT32_MAX, false, 0},
      {WavFormat::kPcm16, 1, INT32_MAX, true, 0xFFFFFFFE},
      {WavFormat::kPcm24, 1, 1431655765, true, 0xFFFFFFFF},
      {WavFormat::kPcm24, 1, 1431655766, false, 0},
      {WavFormat::kPcm16, 2, (1 << 30) - 1, true, 0xFFFFFFFC},
      {WavFormat::kPcm16, 2, 1 << 30, false, 0},
      {WavFormat::kPcm24, 2, 715827882, true, 0xFFFFFFFC},
      {WavFormat::kPcm24, 2, 715827883, false, 0},
      {WavFormat::kFloat32, 2, 536870911, true, 0xFFFFFFF8},
      {WavFormat::kFloat32, 2, 536870912, false, 0},
  };
  const float samples[] = {0.5f, -0.5f};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.rate);
    std::vector<uint8_t> bytes;
    const std::span<const float> frame(samples, static_cast<size_t>(c.channels));
    EXPECT_EQ(SerializeToBytes(frame, c.rate, c.format, bytes, c.channels), c.written);
    EXPECT_EQ(c.rate <= MaxSampleRate(c.format, c.channels), c.written);
    if (!c.written) {
      EXPECT_TRUE(bytes.empty());
      continue;
    }
    const uint32_t data = BytesPerSample(c.format) * c.channels;
    ASSERT_EQ(bytes.size(), HeaderBytes(c.format) + data + data % 2);  // odd data: a pad byte
    EXPECT_EQ(Le32(bytes, 24), static_cast<uint32_t>(c.rate));
    EXPECT_EQ(Le32(bytes, 28), c.byteRate);
  }
}

class WavFile : public testing_support::TempFolderTest {
 protected:
  OutputPath Path(const std::string& name) const {
    const std::string path = (folder_ / name).string();
    return {path, path};
  }
  // `name` in nested folders below the test's, its whole path `pathBytes` long.
  OutputPath DeepPath(const std::string& name, size_t pathBytes) const {
    fs::path folder = folder_;
    // Each folder adds a slash and its name, none longer than a name may be.
    size_t left = pathBytes - folder_.string().size() - 1 - name.size();
    while (left > 0) {
      const size_t part = left > 400 ? 200 : left > 201 ? left / 2 : left - 1;
      folder /= std::string(part, 'd');
      left -= part + 1;
    }
    fs::create_directories(folder);
    const std::string path = (folder / name).string();
    EXPECT_EQ(path.size(), pathBytes);
    return {path, path};
  }
  size_t FilesInFolder(const fs::path& folder = {}) const {
    return static_cast<size_t>(
        std::distance(fs::directory_iterator(folder.empty() ? folder_ : folder), {}));
  }

  const std::vector<float> samples_ = std::vector<float>(1000, 0.25f);
};

// The largest file the process may write, for as long as it lives; a write past it fails with
// EFBIG rather than stopping the process.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) : oldHandler_(std::signal(SIGXFSZ, SIG_IGN)) {
    ::getrlimit(RLIMIT_FSIZE, &old_);
    rlimit limited = old_;
    limited.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limited);
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &old_);
    std::signal(SIGXFSZ, oldHandler_);
  }

 private:
  rlimit old_{};
  void (*oldHandler_)(int);
};

bool FailHalfWay(std::FILE* out, const WavInfo& info, std::span<const float> samples) {
  SerializeWav(out, info, samples.first(samples.size() / 2));
  std::fflush(out);
  return false;
}

TEST_F(WavFile, ReplacesAnExistingFile) {
  const OutputPath path = Path("out.wav");
  std::ofstream(path.native) << "an older, longer file that must disappear entirely......";
  EXPECT_EQ(Outcome(WriteWavFile(path, 8000, samples_)), "");
  EXPECT_EQ(ReadBytes(path.native).size(), 44u + 2000u);
  EXPECT_EQ(FilesInFolder(), 1u);
}

// Replacing "earlier take" under the ways a replacement goes wrong.
struct Replacement {
  const char* what;
  size_t nameBytes;  // 0: keep.wav
  size_t pathBytes;  // 0: in the test's folder; else the whole path, through nested folders
  bool nameTaken;    // the first temporary name already exists
  rlim_t sizeLimit;  // RLIM_INFINITY, or the largest file the process may write
  WavSerializer serialize;
  const char* error;  // null on success; else what follows "Error: Could not "
  bool earlierKept;   // on failure: the earlier file is still there, untouched
};

TEST_F(WavFile, ReplacingKeepsTheEarlierFileUntilTheNewOneIsComplete) {
  const Replacement cases[] = {
      {"a failed write", 0, 0, false, RLIM_INFINITY, FailHalfWay, "write file", true},
      // Every byte reaches the file only at the close; the limit fails it.
      {"a failed close", 0, 0, false, 2043, SerializeWav, "finish writing file", true},
      {"the temporary name taken", 0, 0, true, RLIM_INFINITY, SerializeWav, nullptr, true},
      {"the temporary name taken, a failed write", 0, 0, true, RLIM_INFINITY, FailHalfWay,
       "write file", true},
      // The name leaves no room for the temporary suffix: a short temporary name instead.
      {"a 250-byte name", 250, 0, false, RLIM_INFINITY, SerializeWav, nullptr, true},
      {"a 250-byte name, a failed write", 250, 0, false, RLIM_INFINITY, FailHalfWay, "write file",
       true},
      {"a 250-byte name, the short name taken", 250, 0, true, RLIM_INFINITY, SerializeWav, nullptr,
       true},
      // The folder's path leaves no room for any temporary name: written in place, so a failure
      // removes what was there.
      {"a path one short of the limit", 0, PATH_MAX - 2, false, RLIM_INFINITY, SerializeWav,
       nullptr, false},
      {"a path one short of the limit, a failed write", 0, PATH_MAX - 2, false, RLIM_INFINITY,
       FailHalfWay, "write file", false},
  };
  for (const Replacement& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    const std::string name = c.nameBytes ? std::string(c.nameBytes - 4, 'k') + ".wav" : "keep.wav";
    const OutputPath path = c.pathBytes ? DeepPath(name, c.pathBytes) : Path(name);
    const fs::path folder = fs::path(path.native).parent_path();
    std::ofstream(path.native) << "earlier take";
    const std::string taken =
        (c.nameBytes ? (folder / ".kt-").string() : path.native + ".kettorin-") +
        std::to_string(::getpid()) + "-0.tmp";
    if (c.nameTaken) std::ofstream(taken) << "someone else's";

    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    std::string outcome;
    {
      const FileSizeLimit limit(c.sizeLimit);
      outcome = Outcome(WriteWavFile(path, 8000, samples_, WavFormat::kPcm16, c.serialize));
    }
    const std::string printed =
        testing::internal::GetCapturedStdout() + testing::internal::GetCapturedStderr();

    const std::vector<uint8_t> after = ReadBytes(path.native);
    EXPECT_EQ(printed, "");  // the writer prints nothing: its callers say what happened
    if (c.error == nullptr) {
      EXPECT_EQ(outcome, "");
      EXPECT_EQ(after.size(), 2044u);
    } else {
      EXPECT_EQ(outcome, "Could not " + std::string(c.error) + " '" + path.display + "'.");
      EXPECT_EQ(std::string(after.begin(), after.end()), c.earlierKept ? "earlier take" : "");
      EXPECT_EQ(fs::exists(path.native), c.earlierKept);
    }
    if (c.nameTaken) {
      const std::vector<uint8_t> other = ReadBytes(taken);
      EXPECT_EQ(std::string(other.begin(), other.end()), "someone else's");
    }
    // Nothing else remains: no temporary file.
    EXPECT_EQ(FilesInFolder(folder), (fs::exists(path.native) ? 1u : 0u) + (c.nameTaken ? 1u : 0u));
  }
}

TEST_F(WavFile, AFailedFirstWriteLeavesNoFile) {
  const OutputPath path = Path("new.wav");
  EXPECT_NE(Outcome(WriteWavFile(path, 8000, samples_, WavFormat::kPcm16, FailHalfWay)), "");
  EXPECT_EQ(FilesInFolder(), 0u);
}

TEST_F(WavFile, UnopenablePathsAreReportedWithTheirName) {
  for (const OutputPath& path : {Path("missing/folder/out.wav"), Path("")}) {
    const std::optional<WriteError> error = WriteWavFile(path, 8000, samples_);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->message, "Could not open file '" + path.display + "' for writing.");
  }
  EXPECT_EQ(FilesInFolder(), 0u);
}

// Why an open or a commit failed: errno as the failing call left it, before any clean-up; and
// whether, and why, a file was written in place.
TEST_F(WavFile, OpenAndCommitTellTheFailingCallsErrnoAndAWriteInPlace) {
  const struct {
    const char* what;
    NativePath target;
    rlim_t sizeLimit;
    int openError;                        // 0: a stream opens
    int commitError;                      // after a few bytes are written; 0: the commit succeeds
    const char* inPlaceReason = nullptr;  // null: a temporary file, or a device
  } cases[] = {
      {"a new file", Path("new.wav").native, RLIM_INFINITY, 0, 0},
      {"a 250-byte name", Path(std::string(246, 'k') + ".wav").native, RLIM_INFINITY, 0, 0},
      {"a path one short of the limit", DeepPath("deep.wav", PATH_MAX - 2).native, RLIM_INFINITY, 0,
       0, "the path is too long for a temporary file beside it"},
      {"a missing folder", Path("missing/out.wav").native, RLIM_INFINITY, ENOENT, 0},
      {"a folder", folder_.string(), RLIM_INFINITY, EISDIR, 0},
      {"a full device", "/dev/full", RLIM_INFINITY, 0, ENOSPC},
      {"past the size limit", Path("big.wav").native, 4, 0, EFBIG},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const FileSizeLimit limit(c.sizeLimit);
    OutputFile file = OpenOutputFile(c.target);
    EXPECT_EQ(file.error, c.openError);
    EXPECT_EQ(file.stream == nullptr, c.openError != 0);
    EXPECT_EQ(file.inPlace, c.inPlaceReason != nullptr);
    EXPECT_EQ(file.inPlaceReason, c.inPlaceReason ? c.inPlaceReason : "");
    if (file.stream == nullptr) continue;
    std::fputs("a few bytes", file.stream);
    EXPECT_EQ(CommitOutputFile(file), c.commitError == 0);
    EXPECT_EQ(file.error, c.commitError);
  }
  // The two files committed and the deep path's first folder; no temporary file.
  EXPECT_EQ(FilesInFolder(), 3u);
}

TEST_F(WavFile, NewFilesGetThePermissionsAPlainCreateWouldGive) {
  const struct {
    mode_t umask;
    mode_t mode;
  } cases[] = {{0, 0666}, {002, 0664}, {022, 0644}, {027, 0640}};
  for (const auto& c : cases) {
    const mode_t old = ::umask(c.umask);
    fs::remove(Path("fresh.wav").native);
    EXPECT_EQ(Outcome(WriteWavFile(Path("fresh.wav"), 8000, samples_)), "");
    ::umask(old);
    struct stat info {};
    ASSERT_EQ(::stat(Path("fresh.wav").native.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, c.mode) << "umask " << std::oct << c.umask;
  }
  // A replaced file keeps its own.
  ::chmod(Path("fresh.wav").native.c_str(), 0604);
  EXPECT_EQ(Outcome(WriteWavFile(Path("fresh.wav"), 8000, samples_)), "");
  struct stat info {};
  ASSERT_EQ(::stat(Path("fresh.wav").native.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0604u);
}

TEST_F(WavFile, DevicesAndPipesAreWrittenInPlaceAndNeverRemoved) {
  // /dev/full accepts the open and fails the write: reported, and the device stays.
  const std::optional<WriteError> full = WriteWavFile({"/dev/full", "/dev/full"}, 8000, samples_);
  ASSERT_TRUE(full);
  EXPECT_NE(full->message.find("/dev/full"), std::string::npos);
  EXPECT_EQ(full->systemError, ENOSPC);
  EXPECT_TRUE(fs::exists("/dev/full"));
  // More than the stream holds: the serializer itself sees the failed write.
  std::FILE* device = std::fopen("/dev/full", "wb");
  ASSERT_NE(device, nullptr);
  EXPECT_FALSE(SerializeWav(device, 8000, std::vector<float>(300000, 0.5f)));
  std::fclose(device);

  // A pipe receives the whole file.
  const OutputPath fifo = Path("pipe");
  ASSERT_EQ(::mkfifo(fifo.native.c_str(), 0600), 0);
  std::vector<uint8_t> received;
  std::thread reader([&] { received = ReadBytes(fifo.native); });
  EXPECT_EQ(Outcome(WriteWavFile(fifo, 8000, samples_)), "");
  reader.join();
  EXPECT_EQ(received.size(), 44u + 2000u);
  EXPECT_TRUE(fs::is_fifo(fifo.native));
}

TEST_F(WavFile, ASymbolicLinkIsReplacedAtTheFileItNamesAndStays) {
  const struct {
    const char* what;
    const char* link;  // in the test's folder
    std::string text;  // what the link holds
    const char* file;  // the file written, in the test's folder
    bool existed;
    const char* next = nullptr;  // when set, sub/link2.wav is a link holding this
  } cases[] = {
      {"a link to a file", "link.wav", "take.wav", "take.wav", true},
      {"a dangling link", "link.wav", "missing.wav", "missing.wav", false},
      {"a dangling link in a folder", "sub/link.wav", "../missing.wav", "missing.wav", false},
      {"a dangling absolute link", "link.wav", (folder_ / "abs.wav").string(), "abs.wav", false},
      {"a chain of dangling links", "sub/link.wav", "link2.wav", "sub/end.wav", false, "end.wav"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(folder_);
    fs::create_directories(folder_ / "sub");
    if (c.existed) std::ofstream(folder_ / c.file) << "old";
    fs::create_symlink(c.text, folder_ / c.link);
    if (c.next != nullptr) fs::create_symlink(c.next, folder_ / "sub/link2.wav");
    EXPECT_EQ(Outcome(WriteWavFile(Path(c.link), 8000, samples_)), "");
    EXPECT_TRUE(fs::is_symlink(folder_ / c.link));
    EXPECT_EQ(fs::read_symlink(folder_ / c.link).string(), c.text);
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(folder_ / c.file)));
    EXPECT_EQ(ReadBytes(folder_ / c.file).size(), 2044u);
  }
}

}  // namespace
}  // namespace kettorin
