// The exported function, called through the public header as a host program calls it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "platform/kettorin.h"
#include "platform/text.h"
#include "tests/test_support.h"
#include "track/sample_storage.h"

namespace {

namespace fs = std::filesystem;

struct Outcome {
  int32_t status;
  std::string out;
  std::string err;
};

Outcome Call(const char16_t* drum, const char16_t* notes, int32_t rate, const char16_t* path,
             int32_t tempo) {
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  const int32_t status = KettorinCompose(drum, notes, rate, path, tempo);
  std::fflush(stdout);
  return {status, testing::internal::GetCapturedStdout(), testing::internal::GetCapturedStderr()};
}

using kettorin::testing_support::ReadBytes;

uint32_t U32(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

// The data chunk's samples (a beat's markers follow it).
std::vector<int16_t> Samples(const std::vector<uint8_t>& b) {
  std::vector<int16_t> samples;
  const size_t end = b.size() < 44 ? 0 : std::min<size_t>(b.size(), 44 + U32(b, 40));
  for (size_t at = 44; at + 1 < end; at += 2) {
    samples.push_back(static_cast<int16_t>(b[at] | b[at + 1] << 8));
  }
  return samples;
}

class Compose : public kettorin::testing_support::TempFolderTest {
 protected:
  std::u16string Path(const std::string& name) const {
    return kettorin::Utf8ToUtf16((folder_ / name).string());
  }
  std::string Narrow(const std::u16string& path) const { return kettorin::Utf16ToUtf8(path); }
};

TEST_F(Compose, SnareExampleWritesTheReportAndA524ByteFile) {
  const std::u16string path = Path("example.wav");
  const Outcome r = Call(u"snare", u"C D", 800, path.c_str(), 100);
  EXPECT_EQ(r.status, KETTORIN_DONE);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out,
            "\n=== DRUM MUSIC COMPOSER ===\n"
            "Drum: SNARE\n"
            "Tempo: 100 BPM\n"
            "Notes: C D\n\n"
            "  C1 (262 Hz, 0.15 s)\n"
            "  D1 (294 Hz, 0.15 s)\n"
            "\xE2\x9C\x93 Created: " +
                Narrow(path) +
                "\n"
                "\nDuration: 0.30 seconds\n\n");
  const std::vector<uint8_t> bytes = ReadBytes(Narrow(path));
  ASSERT_EQ(bytes.size(), 524u);
  EXPECT_EQ(U32(bytes, 4), 516u);
  EXPECT_EQ(U32(bytes, 24), 800u);
  EXPECT_EQ(U32(bytes, 40), 480u);
  // A snare note starts from silence, and both notes sound alike.
  const std::vector<int16_t> s = Samples(bytes);
  EXPECT_EQ(s[0], 0);
  EXPECT_EQ(std::vector<int16_t>(s.begin(), s.begin() + 120),
            std::vector<int16_t>(s.begin() + 120, s.end()));
}

struct Rejected {
  int32_t rate;
  int32_t tempo;
  int32_t status;
  std::string err;
};

TEST_F(Compose, BadTempoOrRateIsRefusedBeforeAnythingIsPrinted) {
  const Rejected cases[] = {
      {8000, 0, KETTORIN_BAD_TEMPO, "Error: BPM must be between 1 and 999. Got: 0\n"},
      {8000, -5, KETTORIN_BAD_TEMPO, "Error: BPM must be between 1 and 999. Got: -5\n"},
      {8000, 1000, KETTORIN_BAD_TEMPO, "Error: BPM must be between 1 and 999. Got: 1000\n"},
      {8000, INT32_MIN, KETTORIN_BAD_TEMPO,
       "Error: BPM must be between 1 and 999. Got: -2147483648\n"},
      {8000, INT32_MAX, KETTORIN_BAD_TEMPO,
       "Error: BPM must be between 1 and 999. Got: 2147483647\n"},
      {0, 120, KETTORIN_BAD_SAMPLE_RATE, "Error: Sample rate must be at least 1. Got: 0\n"},
      {-44100, 120, KETTORIN_BAD_SAMPLE_RATE,
       "Error: Sample rate must be at least 1. Got: -44100\n"},
      {INT32_MIN, 120, KETTORIN_BAD_SAMPLE_RATE,
       "Error: Sample rate must be at least 1. Got: -2147483648\n"},
      // The tempo is checked first.
      {0, 0, KETTORIN_BAD_TEMPO, "Error: BPM must be between 1 and 999. Got: 0\n"},
  };
  const std::u16string path = Path("never.wav");
  for (const Rejected& c : cases) {
    const Outcome r = Call(u"kick", u"C D", c.rate, path.c_str(), c.tempo);
    EXPECT_EQ(r.status, c.status) << c.rate << " " << c.tempo;
    EXPECT_EQ(r.err, c.err);
    EXPECT_EQ(r.out, "");
    EXPECT_FALSE(fs::exists(Narrow(path)));
  }
}

TEST_F(Compose, TempoAndRateLimitsAreAccepted) {
  for (int32_t tempo : {1, 999}) {
    const std::u16string path = Path("limit.wav");
    EXPECT_EQ(Call(u"kick", u"C8", 1, path.c_str(), tempo).status, KETTORIN_DONE);
    EXPECT_EQ(Call(u"kick", u"C8", 8000, path.c_str(), tempo).status, KETTORIN_DONE);
  }
}

TEST_F(Compose, NullArgumentsAreRefusedWithoutOutput) {
  const std::u16string path = Path("null.wav");
  const char16_t* cases[][3] = {
      {nullptr, u"C", path.c_str()}, {u"kick", nullptr, path.c_str()}, {u"kick", u"C", nullptr}};
  for (const auto& c : cases) {
    const Outcome r = Call(c[0], c[1], 8000, c[2], 120);
    EXPECT_EQ(r.status, KETTORIN_NULL_ARGUMENT);
    EXPECT_EQ(r.err.rfind("Error: ", 0), 0u) << r.err;
    EXPECT_EQ(r.err.find('\n'), r.err.size() - 1);
    EXPECT_EQ(r.out, "");
  }
  EXPECT_FALSE(fs::exists(Narrow(path)));
}

TEST_F(Compose, EmptyCompositionWritesAnEmptyDataChunk) {
  const std::u16string path = Path("empty.wav");
  const Outcome r = Call(u"", u"", 44100, path.c_str(), 120);
  EXPECT_EQ(r.status, KETTORIN_DONE);
  EXPECT_NE(r.out.find("Drum: KICK\n"), std::string::npos);
  EXPECT_NE(r.out.find("Notes: \n\n"), std::string::npos);
  EXPECT_NE(r.out.find("\nDuration: 0.00 seconds\n\n"), std::string::npos);
  EXPECT_EQ(ReadBytes(Narrow(path)).size(), 44u);
}

TEST_F(Compose, SkipsZeroNotesAndReportsNegativeOnesWithoutSamples) {
  const std::u16string path = Path("odd.wav");
  const Outcome r = Call(u"kick", u"C0 D2147483648 E", 8000, path.c_str(), 120);
  EXPECT_EQ(r.status, KETTORIN_DONE);
  EXPECT_EQ(r.out.find("  C"), std::string::npos);  // no report line for C0
  EXPECT_NE(r.out.find("  D0 (294 Hz, -0.00 s)\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("  E1 (330 Hz, 0.12 s)\n"), std::string::npos);
  EXPECT_EQ(ReadBytes(Narrow(path)).size(), 44u + 2 * 1000u);  // only E: 8000 x 0.125
}

TEST_F(Compose, EveryKickNoteStartsFromSilenceAndCallsDoNotShareState) {
  const std::u16string first = Path("first.wav");
  const std::u16string second = Path("second.wav");
  ASSERT_EQ(Call(u"kick", u"A C2 G8 E", 8000, first.c_str(), 120).status, KETTORIN_DONE);
  ASSERT_EQ(Call(u"kick", u"E", 8000, second.c_str(), 120).status, KETTORIN_DONE);
  const std::vector<int16_t> a = Samples(ReadBytes(Narrow(first)));
  ASSERT_EQ(a.size(), 1000u + 2000u + 500u + 1000u);
  for (size_t start : {0u, 1000u, 3000u, 3500u}) EXPECT_EQ(a[start], 0) << start;
  // The second call's file holds its own note only, equal to the same note in the first.
  const std::vector<int16_t> b = Samples(ReadBytes(Narrow(second)));
  EXPECT_EQ(b, std::vector<int16_t>(a.begin() + 3500, a.end()));
}

TEST_F(Compose, ConcurrentCallsWriteWhatLoneCallsWrite) {
  const char16_t* drums[] = {u"snare", u"crash", u"tom", u"cowbell"};
  std::vector<std::vector<uint8_t>> alone;
  for (int i = 0; i < 4; ++i) {
    const std::u16string path = Path("alone" + std::to_string(i) + ".wav");
    Call(drums[i], u"C D E F G A B", 22050, path.c_str(), 200);
    alone.push_back(ReadBytes(Narrow(path)));
  }
  testing::internal::CaptureStdout();
  std::vector<std::thread> threads;
  for (int i = 0; i < 4; ++i) {
    threads.emplace_back([&, i] {
      const std::u16string path = Path("together" + std::to_string(i) + ".wav");
      KettorinCompose(drums[i], u"C D E F G A B", 22050, path.c_str(), 200);
    });
  }
  for (std::thread& t : threads) t.join();
  testing::internal::GetCapturedStdout();
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(ReadBytes(Narrow(Path("together" + std::to_string(i) + ".wav"))), alone[i]);
  }
}

// Long enough that each call renders on two threads of its own (track/split.h): calls from
// several threads at once still write what lone calls write.
TEST_F(Compose, ConcurrentLongCallsSplitAndWriteWhatLoneCallsWrite) {
  // Eight seconds at 22,050 Hz each: 176,400 samples, above the break-even.
  const char16_t* notes = u"C1 E1";
  const char16_t* beat = u"tempo 60\nsteps 1\nkick x-x-x-x-\nsnare -x-x-x-x\ncrash x-------";
  auto run = [&](const std::string& name, bool isBeat) {
    const std::u16string path = Path(name);
    if (isBeat) {
      KettorinComposeBeat(beat, 22050, path.c_str());
    } else {
      KettorinCompose(u"tom", notes, 22050, path.c_str(), 15);
    }
    return ReadBytes(Narrow(path));
  };
  testing::internal::CaptureStdout();
  const std::vector<uint8_t> aloneNotes = run("alone-notes.wav", false);
  const std::vector<uint8_t> aloneBeat = run("alone-beat.wav", true);
  std::vector<std::vector<uint8_t>> together(4);
  std::vector<std::thread> threads;
  for (int i = 0; i < 4; ++i) {
    threads.emplace_back(
        [&, i] { together[i] = run("together" + std::to_string(i) + ".wav", i % 2 == 1); });
  }
  for (std::thread& t : threads) t.join();
  testing::internal::GetCapturedStdout();
  ASSERT_EQ(aloneNotes.size(), 44u + 2u * 176400u);
  // The beat's file also holds its one play's marker: a 36-byte cue chunk and a 32-byte LIST.
  ASSERT_EQ(aloneBeat.size(), 44u + 2u * 176400u + 68u);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(together[i], i % 2 == 1 ? aloneBeat : aloneNotes) << i;
}

TEST_F(Compose, UnwritableOutputIsAFailureButTheReportIsComplete) {
  const std::u16string missing = Path("no/such/folder/out.wav");
  const Outcome r = Call(u"kick", u"C", 8000, missing.c_str(), 120);
  EXPECT_EQ(r.status, KETTORIN_NOT_WRITTEN);
  EXPECT_EQ(r.err, "Error: Could not open file '" + Narrow(missing) + "' for writing.\n");
  EXPECT_EQ(r.out.find("Created"), std::string::npos);
  EXPECT_NE(r.out.find("\nDuration: 0.12 seconds\n\n"), std::string::npos);

  const Outcome full = Call(u"kick", u"C", 8000, u"/dev/full", 120);
  EXPECT_EQ(full.status, KETTORIN_NOT_WRITTEN);
  EXPECT_EQ(full.err.rfind("Error: ", 0), 0u);
  EXPECT_NE(full.err.find("/dev/full"), std::string::npos);
  EXPECT_TRUE(fs::exists("/dev/full"));

  const Outcome folder = Call(u"kick", u"C", 8000, Path("").c_str(), 120);
  EXPECT_EQ(folder.status, KETTORIN_NOT_WRITTEN);
}

TEST_F(Compose, CompositionsBeyondAWavFileAreRefusedWithoutAllocating) {
  // 100,000 whole notes of 60 s at the highest rate: far past 2^31 samples.
  const std::u16string notes(100000, u'C');
  const std::u16string path = Path("huge.wav");
  const Outcome r = Call(u"kick", (notes + u"1").c_str(), INT32_MAX, path.c_str(), 1);
  EXPECT_EQ(r.status, KETTORIN_NO_STORAGE);
  EXPECT_EQ(r.err.rfind("Error: ", 0), 0u);
  EXPECT_EQ(r.out, "");
  EXPECT_FALSE(fs::exists(Narrow(path)));
}

TEST_F(Compose, StorageBeyondTheAddressSpaceIsOutOfMemoryNotAnOverrun) {
  // 1.5 billion samples fit a WAV file but not a 32-bit address space (6 GB of floats): a byte
  // count that wrapped around would allocate too little and render past it.
  if (sizeof(size_t) > 4) GTEST_SKIP() << "a 64-bit process can hold it";
  const std::u16string path = Path("big.wav");
  const Outcome r = Call(u"kick", u"C1", 1500000000, path.c_str(), 60);
  EXPECT_EQ(r.status, KETTORIN_NO_STORAGE);
  EXPECT_EQ(r.err, "Error: Memory allocation failed.\n");
  EXPECT_EQ(r.out, "");
  EXPECT_FALSE(fs::exists(Narrow(path)));
}

TEST(SampleStorage, EveryRequestedSampleIsThere) {
  // Huge-page storage is rounded up to whole 2 MiB pages; rounded the wrong way, the last samples
  // of these would lie past the allocation (AddressSanitizer builds report it).
  for (const int64_t count : {0, 1, 524287, 524288, 600000, 1048577}) {
    const kettorin::SampleStorage storage = kettorin::AllocateSamples(count);
    ASSERT_TRUE(storage) << count;
    float* const samples = storage.get();
    for (int64_t i = 0; i < count; ++i) samples[i] = static_cast<float>(i);
    if (count > 0) {
      EXPECT_EQ(samples[count - 1], static_cast<float>(count - 1)) << count;
    }
  }
  EXPECT_FALSE(kettorin::AllocateSamples(-1));
}

TEST_F(Compose, TomNotesTooShortForTheirLevelAreSaturatedNotWrapped) {
  // Past full scale (tempo 999, 32nd notes) the largest samples clip at the 16-bit limits.
  const std::u16string loud = Path("loud.wav");
  ASSERT_EQ(Call(u"mid_tom", u"A32", 44100, loud.c_str(), 999).status, KETTORIN_DONE);
  const std::vector<int16_t> s = Samples(ReadBytes(Narrow(loud)));
  ASSERT_EQ(s.size(), 82u);
  const auto [lo, hi] = std::minmax_element(s.begin(), s.end());
  EXPECT_TRUE(*hi == 32767 || *lo == -32768);
  // So short that the release overflows: infinite samples saturate, the not-a-number one is 0.
  const std::u16string wild = Path("wild.wav");
  ASSERT_EQ(Call(u"mid_tom", u"A9999", 100000000, wild.c_str(), 999).status, KETTORIN_DONE);
  const std::vector<int16_t> w = Samples(ReadBytes(Narrow(wild)));
  ASSERT_FALSE(w.empty());
  EXPECT_EQ(w[0], 0);
  for (int16_t v : w) EXPECT_TRUE(v == 0 || v == 32767 || v == -32768) << v;
}

struct Hostile {
  const char* what;
  std::u16string drum;
  std::u16string notes;
  int32_t rate;
  std::u16string file;  // in the test's folder; empty for the folder itself
  int32_t tempo;
  int32_t status;
  std::string errStart;  // what standard error begins with ("" for nothing at all)
  long bytes;            // size of the file afterwards, -1 for no file
};

TEST_F(Compose, HostileInputsGetTheirStatusTheirMessageAndNothingElse) {
  const std::u16string lone = std::u16string{0xD800};
  const std::u16string reversed = std::u16string{0xDC00, 0xD800};
  const Hostile cases[] = {
      {"highest rate, no notes", u"kick", u"", INT32_MAX, u"a.wav", 120, 999, "", 44},
      {"rate 1: notes shorter than a sample", u"kick", u"C D", 1, u"a.wav", 120, 999, "", 44},
      {"lowest rate", u"kick", u"C", INT32_MIN, u"a.wav", 120, 11, "Error: Sample rate", -1},
      // One sample per note: trunc(100 x 0.015).
      {"a megabyte of notes", u"snare", std::u16string(1 << 20, u'G'), 100, u"a.wav", 999, 999, "",
       44 + 2 * (1 << 20)},
      {"lone surrogate in the drum name", lone + u"snare", u"C", 8000, u"a.wav", 120, 999, "",
       44 + 2000},
      {"reversed surrogates in the notes", u"snare", reversed + u"C" + lone, 8000, u"a.wav", 120,
       999, "", 44 + 2000},
      {"lone surrogate in the path", u"snare", u"C", 8000, u"x" + lone + u".wav", 120, 999, "", -1},
      {"10,000-character drum name", u"snare" + std::u16string(9995, u'x'), u"C", 8000, u"a.wav",
       120, 999, "", 44 + 2000},
      {"only a zero note", u"kick", u"C0", 8000, u"a.wav", 120, 999, "", 44},
      {"30-digit run", u"kick", u"C" + std::u16string(30, u'9'), 8000, u"a.wav", 120, 999, "", -2},
      {"path is a folder", u"kick", u"C", 8000, u"", 120, 14, "Error: Could not open file", -1},
      {"missing folder", u"kick", u"C", 8000, u"gone/a.wav", 120, 14, "Error: Could not open", -1},
  };
  for (const Hostile& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    const std::u16string path = Path("") + c.file;
    const Outcome r = Call(c.drum.c_str(), c.notes.c_str(), c.rate, path.c_str(), c.tempo);
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.err.substr(0, c.errStart.size()), c.errStart);
    if (c.errStart.empty()) {
      EXPECT_EQ(r.err, "");
    }
    if (c.bytes >= 0) {
      EXPECT_EQ(static_cast<long>(ReadBytes(Narrow(path)).size()), c.bytes);
    }
    if (c.bytes == -1 && !c.file.empty()) {
      // Nothing but what the call wrote under the name the caller gave, if anything.
      size_t files = 0;
      for (const auto& entry : fs::directory_iterator(folder_)) files += entry.is_regular_file();
      EXPECT_EQ(files, c.status == 999 ? 1u : 0u);
    }
  }
}

TEST_F(Compose, NonAsciiPathsAndNotesAreUtf8) {
  const std::u16string path = Path("caf\xC3\xA9.wav");
  const Outcome r = Call(u"snare", u"C \u00e9 D \xD800", 8000, path.c_str(), 120);
  EXPECT_EQ(r.status, KETTORIN_DONE);
  EXPECT_NE(r.out.find("Notes: C \xC3\xA9 D \xEF\xBF\xBD\n"), std::string::npos) << r.out;
  EXPECT_TRUE(fs::exists(folder_ / "caf\xC3\xA9.wav"));
  EXPECT_EQ(ReadBytes(folder_ / "caf\xC3\xA9.wav").size(), 44u + 2u * 2000u);
}

}  // namespace

namespace {

struct BeatCase {
  const char* what;
  const char16_t* text;  // null for a null argument
  int32_t rate;
  const char* file;  // in the test's folder; null for a null path, "" for the folder itself
  int32_t status;
  std::string err;  // standard error, exactly
  long bytes;       // size of the file afterwards, -1 for no file
};

class ComposeBeat : public Compose {};

TEST_F(ComposeBeat, EveryOutcomeHasItsStatusAndItsOneLine) {
  // 8000 Hz, tempo 120, 4 steps a beat: 1000 samples a step.
  const BeatCase cases[] = {
      {"a beat", u"kick x---\nsnare --X-", 8000, "b.wav", 999, "", 44 + 2 * 4000 + 68},  // and a marker
      {"null text", nullptr, 8000, "b.wav", 10, "Error: The beat text must not be null.\n", -1},
      {"null path", u"kick x", 8000, nullptr, 10, "Error: The output path must not be null.\n", -1},
      {"rate 0", u"kick x", 0, "b.wav", 11, "Error: Sample rate must be at least 1. Got: 0\n", -1},
      {"unknown drum", u"tempo 90\nsnar3 x", 8000, "b.wav", 15,
       "Error: line 2: unknown drum 'snar3' (kick, snare, hihatc, hihato, high_tom, mid_tom, "
       "low_tom, cowbell, clap, ride, crash)\n",
       -1},
      {"no drum lines", u"# nothing", 8000, "b.wav", 15,
       "Error: no drum lines: a line names a drum and gives its steps, such as 'kick x---x---'\n",
       -1},
      {"too long", u"tempo 1\nsteps 1\nrepeat 10000\nkick xxxxxxxxxx", 100000, "b.wav", 13,
       "Error: The beat is too long for a WAV file: more than 2147483629 samples.\n", -1},
      {"missing folder", u"kick x", 8000, "gone/b.wav", 14,
       "Error: Could not open file '" + (folder_ / "gone/b.wav").string() + "' for writing.\n", -1},
  };
  for (const BeatCase& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    const std::u16string path = c.file == nullptr ? u"" : Path(c.file);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const int32_t status =
        KettorinComposeBeat(c.text, c.rate, c.file == nullptr ? nullptr : path.c_str());
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(status, c.status);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.err);
    if (c.bytes >= 0) {
      EXPECT_EQ(static_cast<long>(ReadBytes(Narrow(path)).size()), c.bytes);
      EXPECT_NE(out.find("\nDuration: 0.50 seconds\n\n"), std::string::npos) << out;
      EXPECT_NE(out.find("  SNARE              1 hit   pitch -            ring 0.5 s  level 1\n"),
                std::string::npos)
          << out;
    } else if (c.status != 14) {
      EXPECT_EQ(out, "");  // refused before the report begins
    }
    if (c.bytes < 0 && c.file != nullptr) {
      EXPECT_FALSE(fs::exists(Narrow(path)));
    }
  }
}

}  // namespace

namespace {

// A format 0 file at 96 ticks a quarter: kick at 0, snare a quarter later (0.5 s), the end of the
// track a half note in (1 s); then the same with a status byte no file holds.
const uint8_t kGroove[] = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 96,
                           'M', 'T', 'r', 'k', 0, 0, 0, 16, 0, 0x99, 36, 100,
                           96, 0x99, 38, 127, 96, 0xFF, 0x2F, 0};
const uint8_t kDamaged[] = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 96,
                            'M', 'T', 'r', 'k', 0, 0, 0, 8, 0, 0x99, 36, 100, 0, 0xF4, 0, 0};
// One quarter note of 16.7 s every 2^28 ticks: far past any WAV file.
const uint8_t kEndless[] = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0, 1,
                            'M', 'T', 'r', 'k', 0, 0, 0, 14, 0, 0xFF, 0x51, 3, 0xFF, 0xFF, 0xFF,
                            0xFF, 0xFF, 0xFF, 0x7F, 0xFF, 0x2F, 0};

struct MidiCase {
  const char* what;
  const uint8_t* data;
  int32_t size;
  int32_t rate;
  const char* file;  // in the test's folder; null for a null path
  int32_t status;
  std::string err;  // standard error, exactly
  long bytes;       // size of the file afterwards, -1 for no file
};

class ComposeMidi : public Compose {};

TEST_F(ComposeMidi, EveryOutcomeHasItsStatusAndItsOneLine) {
  const int32_t groove = sizeof kGroove;
  const MidiCase cases[] = {
      {"a file", kGroove, groove, 8000, "m.wav", 999, "", 44 + 2 * 8000},
      {"null data", nullptr, 0, 8000, "m.wav", 10, "Error: The MIDI data must not be null.\n", -1},
      {"null path", kGroove, groove, 8000, nullptr, 10,
       "Error: The output path must not be null.\n", -1},
      {"negative size", kGroove, -1, 8000, "m.wav", 15,
       "Error: The MIDI data's size must not be negative. Got: -1\n", -1},
      {"rate 0", kGroove, groove, 0, "m.wav", 11,
       "Error: Sample rate must be at least 1. Got: 0\n", -1},
      {"no bytes", kGroove, 0, 8000, "m.wav", 15,
       "Error: byte 0: not a Standard MIDI File: it does not begin with MThd\n", -1},
      {"cut inside the header", kGroove, 12, 8000, "m.wav", 15,
       "Error: byte 4: the header's length 6 passes the end of the file\n", -1},
      {"damaged", kDamaged, sizeof kDamaged, 8000, "m.wav", 15,
       "Error: byte 27: status byte 0xF4 cannot appear in a file\n", -1},
      {"too long", kEndless, sizeof kEndless, 8000, "m.wav", 13,
       "Error: The MIDI file is too long for a WAV file: more than 2147483629 samples.\n", -1},
      {"missing folder", kGroove, groove, 8000, "gone/m.wav", 14,
       "Error: Could not open file '" + (folder_ / "gone/m.wav").string() + "' for writing.\n",
       -1},
  };
  for (const MidiCase& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    const std::u16string path = c.file == nullptr ? u"" : Path(c.file);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const int32_t status =
        KettorinComposeMidi(c.data, c.size, c.rate, c.file == nullptr ? nullptr : path.c_str());
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(status, c.status);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.err);
    if (c.bytes >= 0) {
      const std::vector<uint8_t> bytes = ReadBytes(Narrow(path));
      ASSERT_EQ(static_cast<long>(bytes.size()), c.bytes);
      // The kick sounds from the first sample, the snare from sample 4000 on, and nothing before.
      const std::vector<int16_t> samples = Samples(bytes);
      EXPECT_EQ(samples[0], 0);  // attacks start from silence
      EXPECT_NE(samples[10], 0);
      EXPECT_NE(out.find("MIDI: format 0, 1 track, 96 ticks per quarter note, channel 10\n"
                         "Tempo: 120 BPM at the start, 0 changes\n\n"
                         "  KICK               1 hit   pitch C (262 Hz)   ring 0.5 s\n"
                         "  SNARE              1 hit   pitch -            ring 0.5 s\n"),
                std::string::npos)
          << out;
      EXPECT_NE(out.find("\nDuration: 1.00 seconds\n\n"), std::string::npos) << out;
    } else if (c.status != 14) {
      EXPECT_EQ(out, "");  // refused before the report begins
    }
    if (c.bytes < 0 && c.file != nullptr) {
      EXPECT_FALSE(fs::exists(Narrow(path)));
    }
  }
}

}  // namespace
