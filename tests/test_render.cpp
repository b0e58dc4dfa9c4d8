// The calls that render into memory, through the public header: the same samples as the
// file-writing calls, the caller's buffers respected to the byte, every failure with its message.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

#include "platform/kettorin.h"
#include "platform/text.h"
#include "request/request.h"
#include "tests/test_support.h"
#include "track/drum_kinds.h"

namespace {

using kettorin::testing_support::ReadBytes;

constexpr float kCanary = -12345.0f;  // what the caller's buffer holds where nothing may land

// The data chunk's samples, after the float file's 58-byte header (a beat's markers follow).
std::vector<float> FloatSamples(const std::vector<uint8_t>& file) {
  std::vector<float> samples;
  if (file.size() < 58) return samples;
  const size_t size = file[54] | file[55] << 8 | file[56] << 16 | size_t{file[57]} << 24;
  const size_t end = std::min(file.size(), 58 + size);
  for (size_t at = 58; at + 3 < end; at += 4) {
    uint32_t bits = 0;
    for (int b = 3; b >= 0; --b) bits = bits << 8 | file[at + static_cast<size_t>(b)];
    samples.push_back(std::bit_cast<float>(bits));
  }
  return samples;
}

std::vector<uint32_t> Bits(const std::vector<float>& samples) {
  std::vector<uint32_t> bits;
  for (float x : samples) bits.push_back(std::bit_cast<uint32_t>(x));
  return bits;
}

struct Rendered {
  int32_t status = 0;
  int64_t count = -1;
  std::vector<float> samples;
  std::string message;
  KettorinLevels levels{-1, -1, -1};
};

// The two-pass way a host calls: ask for the count, then render into a buffer of that size.
Rendered RenderNotes(const std::u16string& drum, const std::u16string& notes, int32_t rate,
                     int32_t tempo) {
  Rendered r;
  char message[256] = "untouched";
  r.status = KettorinRender(drum.c_str(), notes.c_str(), rate, tempo, nullptr, 0, &r.count, message,
                            sizeof message);
  if (r.status == KETTORIN_DONE) {
    r.samples.assign(static_cast<size_t>(r.count), kCanary);
    r.status = KettorinRender(drum.c_str(), notes.c_str(), rate, tempo, r.samples.data(), r.count,
                              &r.count, message, sizeof message);
  }
  r.message = message;
  return r;
}

Rendered RenderBeat(const std::string& text, const KettorinBeatOptions* options) {
  Rendered r;
  const std::u16string beat = kettorin::Utf8ToUtf16(text);
  char message[256] = "untouched";
  r.status = KettorinRenderBeat(beat.c_str(), options, &r.levels, nullptr, 0, &r.count, message,
                                sizeof message);
  if (r.status == KETTORIN_DONE) {
    r.samples.assign(static_cast<size_t>(r.count), kCanary);
    r.status = KettorinRenderBeat(beat.c_str(), options, &r.levels, r.samples.data(), r.count,
                                  &r.count, message, sizeof message);
  }
  r.message = message;
  return r;
}

class Render : public kettorin::testing_support::TempFolderTest {
 protected:
  // Renders the request into a float file, as the command's --float does, and reads it back.
  std::vector<float> FloatFile(kettorin::Request request) const {
    kettorin::WavOutput out;
    const std::string path = (folder_ / "float.wav").string();
    out.path = {path, path};
    request.options.format = kettorin::WavFormat::kFloat32;
    EXPECT_EQ(kettorin::RenderToFiles(request, out, [](kettorin::Channel, std::string_view) {}),
              KETTORIN_DONE);
    return FloatSamples(ReadBytes(path));
  }
};

struct NotesCase {
  const char* drum;
  const char* notes;
  int32_t rate;
  int32_t tempo;
};

TEST_F(Render, NotesGiveTheSamplesOfTheCommandsFloatFileBitForBit) {
  const NotesCase cases[] = {
      {"snare", "C D E2 F#8 G1", 44100, 120},
      {"kick", "A C2 E8", 22050, 97},
      {"hihatc", "C8 C8 C8", 48000, 140},
      {"hihat_open", "G1", 8000, 60},
      {"tom", "C Db2 E", 44100, 133},
      {"low_tom", "F#", 11025, 999},
      {"cowbell", "A C2 E8 E8 G1", 22050, 128},
      {"clap", "C C", 44100, 1},
      {"ride", "B2", 96000, 120},
      {"crash", "C1", 44100, 200},
      {"mid_tom", "", 44100, 120},
      {"nothing", "C0 D E", 1, 120},
  };
  for (const NotesCase& c : cases) {
    SCOPED_TRACE(std::string(c.drum) + " " + c.notes);
    kettorin::Request request(kettorin::Source::kNotes, c.notes);
    request.options.drum = c.drum;
    request.options.sampleRate = c.rate;
    request.options.tempo = c.tempo;
    const std::vector<float> file = FloatFile(request);
    const Rendered r =
        RenderNotes(kettorin::Utf8ToUtf16(c.drum), kettorin::Utf8ToUtf16(c.notes), c.rate, c.tempo);
    ASSERT_EQ(r.status, KETTORIN_DONE) << r.message;
    EXPECT_EQ(r.message, "");
    EXPECT_EQ(Bits(r.samples), Bits(file));
  }
}

constexpr const char* kGroove =
    "tempo 104\nswing 58\nrepeat 2\n"
    "kick x---x---x---x---\nsnare ----X-------X--g\nhihatc ring=0.2 x-x-x-x-x-x-x-X-\n"
    "low_tom pitch=G level=3 ------------xx--\n";

struct BeatCase {
  int32_t tempo, repeat;  // 0: the beat's
  uint32_t flags;
  double gainDb;
  float gain;    // the factor the gain comes to
  bool lowered;  // the mix passes full scale and is normalised
};

TEST_F(Render, BeatsGiveTheSamplesOfTheBeatCallBitForBitWithItsLevels) {
  // The level-3 tom pushes the mix past full scale unless the gain takes it back.
  const BeatCase cases[] = {
      {0, 0, 0, 0.0, 1.0f, true},
      {90, 3, KETTORIN_LOOP, 0.0, 1.0f, true},
      {0, 0, KETTORIN_NO_NORMALIZE, 0.0, 1.0f, false},
      {0, 1, 0, -6.0, 0.50118723f, false},
      {200, 0, KETTORIN_LOOP | KETTORIN_NO_NORMALIZE, 3.5, 1.4962357f, false},
      {0, 0, KETTORIN_LOOP, 3.5, 1.4962357f, true},
  };
  for (const BeatCase& c : cases) {
    SCOPED_TRACE(testing::Message()
                 << c.tempo << " " << c.repeat << " " << c.flags << " " << c.gainDb);
    kettorin::Request request(kettorin::Source::kBeat, kGroove);
    request.options.sampleRate = 22050;
    if (c.tempo != 0) request.options.tempo = c.tempo;
    if (c.repeat != 0) request.options.repeat = c.repeat;
    request.options.loop = (c.flags & KETTORIN_LOOP) != 0;
    if (c.gainDb != 0.0) request.options.gainDb = c.gainDb;
    request.options.normalize = (c.flags & KETTORIN_NO_NORMALIZE) == 0;
    const std::vector<float> file = FloatFile(request);

    const KettorinBeatOptions options{22050, c.tempo, c.repeat, c.flags, c.gainDb};
    const Rendered r = RenderBeat(kGroove, &options);
    ASSERT_EQ(r.status, KETTORIN_DONE) << r.message;
    EXPECT_EQ(Bits(r.samples), Bits(file));
    EXPECT_FLOAT_EQ(r.levels.gain, c.gain);
    EXPECT_EQ(r.levels.normalize, c.lowered ? 1.0f / r.levels.peak : 1.0f);
    if (c.lowered) {
      EXPECT_GT(r.levels.peak, 1.0f);
    }
  }
}

TEST_F(Render, NullOptionsRenderAsTheFileCallDoesAt44100) {
  const std::vector<float> file = FloatFile(kettorin::Request(kettorin::Source::kBeat, kGroove));
  const Rendered r = RenderBeat(kGroove, nullptr);
  ASSERT_EQ(r.status, KETTORIN_DONE) << r.message;
  EXPECT_EQ(Bits(r.samples), Bits(file));
}

// The caller's buffer: a size query renders nothing, a short buffer is refused untouched, and a
// large one is written only as far as the count.
TEST(RenderBuffer, IsWrittenExactlyAsFarAsTheCountAndNeverWhenTooSmall) {
  enum Capacity { kNull, kZero, kOneShort, kExact, kLonger };
  struct Case {
    Capacity capacity;
    int32_t status;
  };
  const Case cases[] = {{kNull, KETTORIN_DONE},
                        {kZero, KETTORIN_BUFFER_TOO_SMALL},
                        {kOneShort, KETTORIN_BUFFER_TOO_SMALL},
                        {kExact, KETTORIN_DONE},
                        {kLonger, KETTORIN_DONE}};
  const std::u16string beat = u"steps 1\nkick xx\n";  // two beats: 44100 samples
  for (const Case& c : cases) {
    for (bool isBeat : {false, true}) {
      SCOPED_TRACE(testing::Message() << c.capacity << (isBeat ? " beat" : " notes"));
      const int64_t needed = isBeat ? 44100 : 2 * 5512;  // two quarter notes at tempo 120
      const int64_t capacity = c.capacity == kNull || c.capacity == kZero ? 0
                               : c.capacity == kOneShort                  ? needed - 1
                               : c.capacity == kExact                     ? needed
                                                                          : needed + 7;
      std::vector<float> buffer(static_cast<size_t>(needed + 16), kCanary);
      float* samples = c.capacity == kNull ? nullptr : buffer.data();
      int64_t count = -1;
      char message[128];
      const int32_t status = isBeat ? KettorinRenderBeat(beat.c_str(), nullptr, nullptr, samples,
                                                         capacity, &count, message, sizeof message)
                                    : KettorinRender(u"kick", u"C C", 44100, 120, samples, capacity,
                                                     &count, message, sizeof message);
      EXPECT_EQ(status, c.status) << message;
      EXPECT_EQ(count, needed);
      const bool rendered = samples != nullptr && status == KETTORIN_DONE;
      for (size_t i = 0; i < buffer.size(); ++i) {
        const bool written = rendered && static_cast<int64_t>(i) < needed;
        ASSERT_EQ(buffer[i] == kCanary, !written) << "sample " << i;
      }
      if (status == KETTORIN_BUFFER_TOO_SMALL) {
        EXPECT_EQ(std::string(message), "The buffer holds " + std::to_string(capacity) +
                                            " samples; the call needs " + std::to_string(needed) +
                                            ".");
      }
    }
  }
  // A negative capacity holds nothing.
  float one = kCanary;
  char message[128];
  EXPECT_EQ(KettorinRender(u"kick", u"C", 8000, 120, &one, -5, nullptr, message, sizeof message),
            KETTORIN_BUFFER_TOO_SMALL);
  EXPECT_EQ(one, kCanary);
  EXPECT_EQ(std::string(message), "The buffer holds 0 samples; the call needs 1000.");
}

struct Refusal {
  const char* call;       // "notes" or "beat"
  const char16_t* first;  // drum name or beat text
  const char16_t* notes;
  int32_t rate;
  int32_t tempo;  // for a beat, the option
  int32_t repeat;
  uint32_t flags;
  double gainDb;
  int32_t status;
  std::string message;
};

TEST(RenderRefuses, EveryBadArgumentWithItsStatusAndMessage) {
  const Refusal cases[] = {
      {"notes", nullptr, u"C", 44100, 120, 0, 0, 0, 10, "The drum name must not be null."},
      {"notes", u"kick", nullptr, 44100, 120, 0, 0, 0, 10, "The note string must not be null."},
      {"notes", u"kick", u"C", 44100, 0, 0, 0, 0, 12, "BPM must be between 1 and 999. Got: 0"},
      {"notes", u"kick", u"C", 0, 1000, 0, 0, 0, 12, "BPM must be between 1 and 999. Got: 1000"},
      {"notes", u"kick", u"C", 0, 120, 0, 0, 0, 11, "Sample rate must be at least 1. Got: 0"},
      {"notes", u"kick", u"C1 C1 C1 C1 C1", 2000000000, 1, 0, 0, 0, 13,
       "The composition is too long for a WAV file: more than 2147483629 samples."},
      {"beat", nullptr, nullptr, 44100, 0, 0, 0, 0, 10, "The beat text must not be null."},
      {"beat", u"kick x", nullptr, -1, 0, 0, 0, 0, 11, "Sample rate must be at least 1. Got: -1"},
      {"beat", u"tempo 90\nsnar3 x-x-", nullptr, 0, 0, 0, 0, 0, 11,
       "Sample rate must be at least 1. Got: 0"},
      {"beat", u"tempo 90\nsnar3 x-x-", nullptr, 44100, 0, 0, 0, 0, 15,
       "line 2: unknown drum 'snar3' (kick, snare, hihatc, hihato, high_tom, mid_tom, low_tom, "
       "cowbell, clap, ride, crash)"},
      {"beat", u"", nullptr, 44100, 0, 0, 0, 0, 15,
       "no drum lines: a line names a drum and gives its steps, such as 'kick x---x---'"},
      {"beat", u"kick x", nullptr, 44100, 1000, 0, 0, 0, 12,
       "BPM must be between 1 and 999. Got: 1000"},
      {"beat", u"kick x", nullptr, 44100, -5, 0, 0, 0, 12,
       "BPM must be between 1 and 999. Got: -5"},
      {"beat", u"kick x", nullptr, 44100, 0, 10001, 0, 0, 15,
       "repeat must be 1 to 10000, got 10001"},
      {"beat", u"kick x", nullptr, 44100, 0, -1, 0, 0, 15, "repeat must be 1 to 10000, got -1"},
      {"beat", u"kick x", nullptr, 44100, 0, 0, 4, 0, 15, "Unknown option flags: 0x4."},
      {"beat", u"kick x", nullptr, 44100, 0, 0, 0, 121, 15,
       "The gain must be from -120 to 120 dB. Got: 121"},
      {"beat", u"kick x", nullptr, 44100, 0, 0, 0, std::nan(""), 15,
       "The gain must be from -120 to 120 dB. Got: nan"},
      {"beat", u"kick x", nullptr, 2000000000, 1, 10000, 0, 0, 13,
       "The beat is too long for a WAV file: more than 2147483629 samples."},
  };
  for (const Refusal& c : cases) {
    SCOPED_TRACE(c.message);
    int64_t count = -7;
    float samples[4] = {kCanary, kCanary, kCanary, kCanary};
    char message[512];
    int32_t status = 0;
    if (std::string(c.call) == "notes") {
      status = KettorinRender(c.first, c.notes, c.rate, c.tempo, samples, 4, &count, message,
                              sizeof message);
    } else {
      const KettorinBeatOptions options{c.rate, c.tempo, c.repeat, c.flags, c.gainDb};
      status = KettorinRenderBeat(c.first, &options, nullptr, samples, 4, &count, message,
                                  sizeof message);
    }
    EXPECT_EQ(status, c.status);
    EXPECT_EQ(message, c.message);
    EXPECT_EQ(count, -7);  // no count is known for a call that cannot be made
    for (float x : samples) EXPECT_EQ(x, kCanary);
  }
}

// A message cut to the caller's buffer stays NUL-terminated and never ends inside a character.
TEST(RenderMessage, IsCutAtACharacterBoundaryToFitTheBuffer) {
  const std::u16string beat = u"sn\u00e4re x";  // the a-umlaut is two bytes in UTF-8
  const std::string whole = "line 1: unknown drum 'sn\xC3\xA4re'";
  struct Case {
    int32_t size;
    std::string expected;  // "~" when nothing may be written
  };
  const Case cases[] = {
      {0, "~"},
      {-3, "~"},
      {1, ""},
      {5, "line"},
      {25, "line 1: unknown drum 'sn"},
      {26, "line 1: unknown drum 'sn"},  // the first byte of the character alone does not fit
      {27, "line 1: unknown drum 'sn\xC3\xA4"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    char message[64];
    std::memset(message, '~', sizeof message);
    const int32_t status =
        KettorinRenderBeat(beat.c_str(), nullptr, nullptr, nullptr, 0, nullptr, message, c.size);
    EXPECT_EQ(status, KETTORIN_BAD_INPUT);
    if (c.expected == "~") {
      EXPECT_EQ(message[0], '~');
    } else {
      EXPECT_EQ(std::string(message), c.expected);
      EXPECT_EQ(message[c.size - 1 < 63 ? c.size : 0], '~');  // nothing past the size given
      EXPECT_EQ(whole.substr(0, c.expected.size()), c.expected);
    }
  }
  // A null message buffer is allowed, and success empties the message.
  EXPECT_EQ(KettorinRenderBeat(beat.c_str(), nullptr, nullptr, nullptr, 0, nullptr, nullptr, 99),
            KETTORIN_BAD_INPUT);
  char message[8] = "stale";
  EXPECT_EQ(KettorinRender(u"kick", u"C", 8000, 120, nullptr, 0, nullptr, message, 8),
            KETTORIN_DONE);
  EXPECT_EQ(std::string(message), "");
}

TEST_F(Render, WrittenSamplesMakeTheFileTheComposeCallWrites) {
  const std::string composed = (folder_ / "composed.wav").string();
  const std::string written = (folder_ / "written.wav").string();
  testing::internal::CaptureStdout();
  ASSERT_EQ(KettorinCompose(u"cowbell", u"A C2 E8 E8 G1", 22050,
                            kettorin::Utf8ToUtf16(composed).c_str(), 128),
            KETTORIN_DONE);
  testing::internal::GetCapturedStdout();
  const Rendered r = RenderNotes(u"cowbell", u"A C2 E8 E8 G1", 22050, 128);
  ASSERT_EQ(r.status, KETTORIN_DONE);
  testing::internal::CaptureStdout();
  char message[128] = "untouched";
  EXPECT_EQ(KettorinWriteWav(kettorin::Utf8ToUtf16(written).c_str(), r.samples.data(), r.count,
                             22050, message, sizeof message),
            KETTORIN_DONE);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");  // no report
  EXPECT_EQ(std::string(message), "");
  EXPECT_EQ(ReadBytes(written), ReadBytes(composed));
}

TEST_F(Render, WriteRefusesWithItsStatusAndMessage) {
  const std::u16string path = kettorin::Utf8ToUtf16((folder_ / "out.wav").string());
  const std::string missing = (folder_ / "no" / "out.wav").string();
  const float one[1] = {0.5f};
  struct Case {
    const char16_t* path;
    const float* samples;
    int64_t count;
    int32_t rate;
    int32_t status;
    std::string message;
  };
  const std::u16string missingPath = kettorin::Utf8ToUtf16(missing);
  const Case cases[] = {
      {nullptr, one, 1, 8000, 10, "The output path must not be null."},
      {path.c_str(), nullptr, 1, 8000, 10, "The sample buffer must not be null."},
      {path.c_str(), one, 1, 0, 11, "Sample rate must be at least 1. Got: 0"},
      {path.c_str(), one, -1, 8000, 13, "The sample count must be from 0 to 2147483629. Got: -1"},
      {path.c_str(), one, int64_t{1} << 31, 8000, 13,
       "The sample count must be from 0 to 2147483629. Got: 2147483648"},
      {missingPath.c_str(), one, 1, 8000, 14,
       "Could not write file '" + missing + "': No such file or directory."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    char message[512];
    testing::internal::CaptureStderr();
    EXPECT_EQ(KettorinWriteWav(c.path, c.samples, c.count, c.rate, message, sizeof message),
              c.status);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");  // the message says it all
    EXPECT_EQ(message, c.message);
    EXPECT_FALSE(std::filesystem::exists(folder_ / "out.wav"));
  }
  // No samples make a file with an empty data chunk.
  EXPECT_EQ(KettorinWriteWav(path.c_str(), nullptr, 0, 8000, nullptr, 0), KETTORIN_DONE);
  EXPECT_EQ(ReadBytes(folder_ / "out.wav").size(), 44u);
}

// ---- The options object: every option, through the exported calls and the road's file sink ----

// A small drum track: kick and key 54 on channel 10, a snare on channels 10 and 1.
const std::string kMidi = [] {
  const uint8_t events[] = {0x00, 0x99, 36, 100, 0x00, 0x99, 54, 80, 0x30, 0x99, 38,   127,
                            0x00, 0x90, 38, 64,  0x30, 0x99, 36, 60, 0x30, 0xFF, 0x2F, 0x00};
  std::string bytes("MThd\0\0\0\x06\0\0\0\x01\0\x60MTrk\0\0\0", 21);
  bytes.push_back(static_cast<char>(sizeof events));
  bytes.append(reinterpret_cast<const char*>(events), sizeof events);
  return bytes;
}();

struct OptionsCase {
  int32_t source;
  std::string input;  // UTF-8 text, or the MIDI bytes
  std::vector<std::pair<const char*, const char*>> options;
  int32_t stems;  // what the input plays as stems with those options
};

class Options : public Render {
 protected:
  // The exported call's samples for the mix (stem KETTORIN_MIX) or a stem.
  Rendered Call(const OptionsCase& c, const KettorinOptions* options, int32_t stem,
                KettorinLevels* levels) {
    const std::u16string text = kettorin::Utf8ToUtf16(c.input);
    const void* input = c.source == KETTORIN_MIDI ? static_cast<const void*>(c.input.data())
                                                  : static_cast<const void*>(text.c_str());
    const int64_t size = c.source == KETTORIN_MIDI ? static_cast<int64_t>(c.input.size()) : -1;
    Rendered r;
    char message[256];
    r.status = KettorinRenderWith(c.source, input, size, options, stem, levels, nullptr, 0,
                                  &r.count, message, sizeof message);
    if (r.status == KETTORIN_DONE) {
      r.samples.assign(static_cast<size_t>(r.count), kCanary);
      r.status = KettorinRenderWith(c.source, input, size, options, stem, levels, r.samples.data(),
                                    r.count, &r.count, message, sizeof message);
    }
    r.message = message;
    return r;
  }
};

TEST_F(Options, EveryOptionRendersWhatTheFileSinkWritesMixAndStems) {
  const OptionsCase cases[] = {
      {KETTORIN_NOTES, "C D E2 F#8", {{"drum", "cowbell"}, {"rate", "22050"}, {"tempo", "97"}}, 0},
      {KETTORIN_BEAT, kGroove, {{"rate", "22050"}, {"tempo", "90"}, {"repeat", "3"}}, 4},
      {KETTORIN_BEAT, kGroove, {{"tempo", "0"}, {"repeat", "0"}}, 4},  // 0 keeps the beat's
      {KETTORIN_BEAT, kGroove, {{"loop", "yes"}, {"gain", "-6"}, {"normalize", "off"}}, 4},
      {KETTORIN_BEAT, kGroove, {{"gain", "3.5"}, {"loop", "1"}}, 4},
      {KETTORIN_BEAT, "humanize 3 4\n54 x?x?x?x?\nhh x-o-xoxx", {{"map", "54=cowbell"}, {"seed", "7"},
                                                         {"humanize", "5,10"}, {"choke", "0"}}, 2},
      {KETTORIN_MIDI, kMidi, {{"rate", "8000"}, {"gain", "120"}}, 2},
      {KETTORIN_MIDI, kMidi, {{"map", "54=cowbell"}, {"gain", "4"}, {"normalize", "0"}}, 3},
      {KETTORIN_MIDI, kMidi, {{"map", "54=ride"}, {"map", ""}}, 2},  // "" clears the map
      {KETTORIN_MIDI, kMidi, {{"channel", "1"}}, 1},
      {KETTORIN_MIDI, kMidi, {{"channel", "16"}, {"gain", "-120"}}, 0},
      // Stereo: interleaved frames, stems too.
      {KETTORIN_BEAT, kGroove, {{"channels", "2"}, {"pan", "kick=-1"}, {"loop", "1"}}, 4},
      {KETTORIN_BEAT, "stereo\nkick pan=0.7 x-x-\nsnare -X-x", {{"gain", "9"}}, 2},
      {KETTORIN_BEAT, "stereo\nkick pan=0.7 x-x-\nsnare -X-x", {{"channels", "1"}}, 2},
      {KETTORIN_MIDI, kMidi, {{"pan", "snare=0.25"}, {"pan", "hihatc=1"}}, 2},
      {KETTORIN_MIDI, kMidi, {{"channels", "2"}, {"pan", "ride=1"}, {"pan", ""}}, 2},
  };
  for (const OptionsCase& c : cases) {
    SCOPED_TRACE(testing::Message() << c.source << " " << c.options.size() << " "
                                    << c.options[0].first << "=" << c.options[0].second);
    KettorinOptions* options = KettorinOptionsCreate();
    ASSERT_NE(options, nullptr);
    kettorin::RenderOptions road;
    for (const auto& [name, value] : c.options) {
      ASSERT_EQ(KettorinOptionsSet(options, name, value, nullptr, 0), KETTORIN_DONE) << name;
      // A beat's 0 is the C calls' "keep the beat's own": the road's files simply leave it out.
      const bool keepsOwn = std::string(value) == "0" &&
                            (std::string(name) == "tempo" || std::string(name) == "repeat");
      if (!keepsOwn) {
        ASSERT_FALSE(kettorin::SetOption(road, name, value));
      }
    }
    const kettorin::Source sources[] = {
        {}, kettorin::Source::kNotes, kettorin::Source::kBeat, kettorin::Source::kMidi};
    kettorin::Request request(sources[c.source], c.input);
    request.options = road;
    request.options.stems = c.source != KETTORIN_NOTES;
    const std::vector<float> file = FloatFile(request);

    KettorinLevels levels{};
    const Rendered mix = Call(c, options, KETTORIN_MIX, &levels);
    ASSERT_EQ(mix.status, KETTORIN_DONE) << mix.message;
    EXPECT_EQ(Bits(mix.samples), Bits(file));
    // The channels the call reports are the file's.
    int32_t channels = 0;
    const std::u16string input = kettorin::Utf8ToUtf16(c.input);
    const bool bytes = c.source == KETTORIN_MIDI;
    ASSERT_EQ(KettorinChannelsWith(c.source, bytes ? static_cast<const void*>(c.input.data())
                                                   : input.c_str(),
                                   bytes ? static_cast<int64_t>(c.input.size()) : -1, options,
                                   &channels, nullptr, 0),
              KETTORIN_DONE);
    EXPECT_EQ(channels, ReadBytes(folder_ / "float.wav").at(22));
    // Each stem equals its file beside the mix, given the mix's levels or finding them itself.
    int32_t stems = -1;
    int32_t kinds[16];
    ASSERT_EQ(KettorinStemsWith(c.source, c.source == KETTORIN_MIDI ? c.input.data() : nullptr,
                                static_cast<int64_t>(c.input.size()), options, kinds, 16, &stems,
                                nullptr, 0),
              c.source == KETTORIN_MIDI ? KETTORIN_DONE : KETTORIN_NULL_ARGUMENT);
    if (c.source != KETTORIN_MIDI) {
      const std::u16string text = kettorin::Utf8ToUtf16(c.input);
      ASSERT_EQ(
          KettorinStemsWith(c.source, text.c_str(), -1, options, kinds, 16, &stems, nullptr, 0),
          KETTORIN_DONE);
    }
    int32_t ordinals[12] = {};
    for (int32_t s = 0; s < stems; ++s) {
      const auto kind = static_cast<kettorin::DrumKind>(kinds[s]);
      const std::string infix =
          std::string(kinds[s] == KETTORIN_HIHAT_LANE ? "hihat" : kettorin::Info(kind).keys[0]) +
          (++ordinals[kinds[s]] > 1 ? "." + std::to_string(ordinals[kinds[s]]) : "");
      const std::vector<float> stemFile =
          FloatSamples(ReadBytes(folder_ / ("float." + infix + ".wav")));
      EXPECT_EQ(Bits(Call(c, options, s, &levels).samples), Bits(stemFile)) << infix;
      EXPECT_EQ(Bits(Call(c, options, s, nullptr).samples), Bits(stemFile)) << infix;
    }
    EXPECT_EQ(stems, c.stems);
    EXPECT_EQ(stems, std::accumulate(std::begin(ordinals), std::end(ordinals), 0));

    // The file call writes the very file the command's road writes, quietly.
    KettorinOptionsSet(options, "float", "1", nullptr, 0);
    KettorinOptionsSet(options, "quiet", "1", nullptr, 0);
    const std::string composed = (folder_ / "composed.wav").string();
    const std::u16string text = kettorin::Utf8ToUtf16(c.input);
    testing::internal::CaptureStdout();
    EXPECT_EQ(
        KettorinComposeWith(
            c.source,
            c.source == KETTORIN_MIDI ? static_cast<const void*>(c.input.data()) : text.c_str(),
            c.source == KETTORIN_MIDI ? static_cast<int64_t>(c.input.size()) : -1, options,
            kettorin::Utf8ToUtf16(composed).c_str(), nullptr, 0),
        KETTORIN_DONE);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(ReadBytes(composed), ReadBytes(folder_ / "float.wav"));
    KettorinOptionsDestroy(options);
  }
}

TEST_F(Options, RefusalsCarryTheirStatusAndMessage) {
  struct Case {
    int32_t source;
    std::string input;
    std::vector<std::pair<const char*, const char*>> options;
    int32_t stem;
    int32_t status;
    std::string message;
  };
  const Case cases[] = {
      {KETTORIN_BEAT,
       "kick x",
       {{"rate", "fast"}},
       KETTORIN_MIX,
       15,
       "The option 'rate' takes a whole number. Got: 'fast'"},
      {KETTORIN_BEAT,
       "kick x",
       {{"loop", "maybe"}},
       KETTORIN_MIX,
       15,
       "The option 'loop' takes 1 or 0 (true or false, yes or no, on or off). Got: 'maybe'"},
      {KETTORIN_BEAT,
       "kick x",
       {{"speed", "2"}},
       KETTORIN_MIX,
       15,
       "Unknown option 'speed' (rate, tempo, repeat, loop, gain, normalize, channel, drum, map, "
       "seed, humanize, choke, channels, pan, float, bits, format, stems, quiet)."},
      {KETTORIN_BEAT, "kick x", {{"bits", "20"}}, KETTORIN_MIX, 15,
       "The option 'bits' takes 16 or 24. Got: '20'"},
      {KETTORIN_BEAT, "kick x", {{"humanize", "6"}}, KETTORIN_MIX, 15,
       "The option 'humanize' takes MS,PERCENT, two whole numbers 0 to 100. Got: '6'"},
      {KETTORIN_BEAT, "kick x", {{"humanize", "6,101"}}, KETTORIN_MIX, 15,
       "The option 'humanize' takes MS,PERCENT, two whole numbers 0 to 100. Got: '6,101'"},
      {KETTORIN_BEAT, "kick x", {{"seed", "4294967296"}}, KETTORIN_MIX, 15,
       "The option 'seed' takes a whole number 0 to 4294967295. Got: '4294967296'"},
      {KETTORIN_MIDI, kMidi, {{"seed", "3"}}, KETTORIN_MIX, 15,
       "The option 'seed' does not apply to a MIDI file."},
      {KETTORIN_NOTES, "C", {{"choke", "0"}}, KETTORIN_MIX, 15,
       "The option 'choke' does not apply to a note string."},
      {KETTORIN_NOTES, "C", {{"map", "54=ride"}}, KETTORIN_MIX, 15,
       "The option 'map' does not apply to a note string."},
      {KETTORIN_NOTES, "C", {{"channels", "2"}}, KETTORIN_MIX, 15,
       "The option 'channels' does not apply to a note string."},
      {KETTORIN_NOTES, "C", {{"pan", "kick=0.5"}}, KETTORIN_MIX, 15,
       "The option 'pan' does not apply to a note string."},
      {KETTORIN_BEAT, "kick x", {{"channels", "stereo"}}, KETTORIN_MIX, 15,
       "The option 'channels' takes 1 or 2. Got: 'stereo'"},
      {KETTORIN_BEAT, "kick x", {{"pan", "ride=1.5"}}, KETTORIN_MIX, 15,
       "The option 'pan': a pan is -1 (left) to 1 (right); got '1.5'."},
      {KETTORIN_MIDI, kMidi, {{"pan", "ride"}}, KETTORIN_MIX, 15,
       "The option 'pan': a pan is DRUM=P, such as ride=0.5; got 'ride'."},
      {KETTORIN_BEAT, "54 x", {}, KETTORIN_MIX, 15,
       "line 1: key 54 plays no drum (--map 54=DRUM gives it one)"},
      {KETTORIN_BEAT,
       "kick x",
       {{"gain", "130"}},
       KETTORIN_MIX,
       15,
       "The gain must be from -120 to 120 dB. Got: 130"},
      {KETTORIN_MIDI,
       kMidi,
       {{"map", "54=gong"}},
       KETTORIN_MIX,
       15,
       "The option 'map': unknown drum 'gong' (kick, snare, hihatc, hihato, high_tom, mid_tom, "
       "low_tom, cowbell, clap, ride, crash)."},
      {KETTORIN_MIDI,
       kMidi,
       {{"channel", "0"}},
       KETTORIN_MIX,
       15,
       "channel must be 1 to 16, got 0"},
      {KETTORIN_MIDI,
       kMidi,
       {{"loop", "1"}},
       KETTORIN_MIX,
       15,
       "A MIDI file cannot be rendered as a loop."},
      {KETTORIN_MIDI,
       kMidi,
       {{"tempo", "90"}},
       KETTORIN_MIX,
       15,
       "The option 'tempo' does not apply to a MIDI file."},
      {KETTORIN_NOTES,
       "C",
       {{"gain", "3"}},
       KETTORIN_MIX,
       15,
       "The option 'gain' does not apply to a note string."},
      {KETTORIN_BEAT,
       "kick x",
       {{"channel", "2"}},
       KETTORIN_MIX,
       15,
       "The option 'channel' does not apply to a note string or a beat."},
      {KETTORIN_BEAT, "kick x", {}, 1, 15, "There is no stem 1: the input has 1."},
      {KETTORIN_NOTES,
       "C",
       {{"tempo", "0"}},
       KETTORIN_MIX,
       12,
       "BPM must be between 1 and 999. Got: 0"},
      {KETTORIN_BEAT,
       "kick x",
       {{"tempo", "1000"}},
       KETTORIN_MIX,
       12,
       "BPM must be between 1 and 999. Got: 1000"},
      {7,
       "kick x",
       {},
       KETTORIN_MIX,
       15,
       "Unknown source 7: KETTORIN_NOTES (1), KETTORIN_BEAT (2) or KETTORIN_MIDI (3)."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    KettorinOptions* options = KettorinOptionsCreate();
    char message[512] = "";
    int32_t status = KETTORIN_DONE;
    for (const auto& [name, value] : c.options) {
      status = KettorinOptionsSet(options, name, value, message, sizeof message);
      if (status != KETTORIN_DONE) break;
    }
    if (status == KETTORIN_DONE) {
      const std::u16string text = kettorin::Utf8ToUtf16(c.input);
      const bool midi = c.source == KETTORIN_MIDI;
      status = KettorinRenderWith(c.source,
                                  midi ? static_cast<const void*>(c.input.data()) : text.c_str(),
                                  midi ? static_cast<int64_t>(c.input.size()) : -1, options, c.stem,
                                  nullptr, nullptr, 0, nullptr, message, sizeof message);
    }
    EXPECT_EQ(status, c.status);
    EXPECT_EQ(std::string(message), c.message);
    KettorinOptionsDestroy(options);
  }
}

TEST_F(Options, FloatFilesAboveTheirLargestRateAreRefusedNotWrittenWithAWrongHeader) {
  KettorinOptions* options = KettorinOptionsCreate();
  KettorinOptionsSet(options, "float", "1", nullptr, 0);
  KettorinOptionsSet(options, "quiet", "1", nullptr, 0);
  const std::u16string path = kettorin::Utf8ToUtf16((folder_ / "f.wav").string());
  const float one[1] = {0.5f};
  const struct {
    const char* rate;
    int32_t status;
  } cases[] = {{"1073741823", KETTORIN_DONE},
               {"1073741824", KETTORIN_BAD_SAMPLE_RATE},
               {"2147483647", KETTORIN_BAD_SAMPLE_RATE}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.rate);
    KettorinOptionsSet(options, "rate", c.rate, nullptr, 0);
    char message[256];
    EXPECT_EQ(KettorinWriteWavWith(path.c_str(), one, 1, options, message, sizeof message),
              c.status);
    EXPECT_EQ(KettorinComposeWith(KETTORIN_BEAT, u"tempo 999\nsteps 64\nkick x", -1, options,
                                  path.c_str(), message, sizeof message),
              c.status);
    if (c.status != KETTORIN_DONE) {
      EXPECT_EQ(std::string(message),
                "A float WAV file's sample rate must be at most 1073741823 "
                "Hz. Got: " +
                    std::string(c.rate));
    }
  }
  // Its byte rate, 4 x rate, is exact in the header of the largest.
  const std::vector<uint8_t> bytes = ReadBytes(folder_ / "f.wav");
  ASSERT_GE(bytes.size(), 32u);
  EXPECT_EQ(bytes[28] | bytes[29] << 8 | bytes[30] << 16 | uint32_t{bytes[31]} << 24, 4294967292u);
  KettorinOptionsDestroy(options);
}

TEST(DrumKinds, AreListedAsTheTableHoldsThemWithTheBufferRespected) {
  int32_t count = -1;
  EXPECT_EQ(KettorinDrumKinds(nullptr, 0, &count), KETTORIN_DONE);
  EXPECT_EQ(count, 11);
  KettorinDrumKind kinds[12] = {};
  kinds[10].key = "untouched";
  EXPECT_EQ(KettorinDrumKinds(kinds, 10, &count), KETTORIN_BUFFER_TOO_SMALL);
  EXPECT_STREQ(kinds[10].key, "untouched");
  EXPECT_EQ(kinds[0].key, nullptr);
  ASSERT_EQ(KettorinDrumKinds(kinds, 12, nullptr), KETTORIN_DONE);
  EXPECT_EQ(kinds[11].key, nullptr);
  for (size_t i = 0; i < 11; ++i) {
    const kettorin::DrumKindInfo& info = kettorin::kDrumKinds[i];
    // Each string ends where the table's view does: the NUL is right after it.
    EXPECT_EQ(kinds[i].key, info.keys[0]);
    EXPECT_EQ(kinds[i].alias, info.keys[1]);
    EXPECT_EQ(kinds[i].displayName, info.displayName);
    EXPECT_EQ(kinds[i].sound, info.sound);
  }
  EXPECT_STREQ(kinds[2].alias, "hihatc");
}

TEST(RenderConcurrent, RendersOnManyThreadsGiveWhatLoneRendersGive) {
  const Rendered alone = RenderNotes(u"crash", u"C D E F", 22050, 150);
  const Rendered beat = RenderBeat(kGroove, nullptr);
  ASSERT_EQ(alone.status, KETTORIN_DONE);
  std::vector<Rendered> notes(6), beats(6);
  std::vector<std::thread> threads;
  for (size_t t = 0; t < notes.size(); ++t) {
    threads.emplace_back([&, t] {
      notes[t] = RenderNotes(u"crash", u"C D E F", 22050, 150);
      beats[t] = RenderBeat(kGroove, nullptr);
    });
  }
  for (std::thread& thread : threads) thread.join();
  for (size_t t = 0; t < notes.size(); ++t) {
    EXPECT_EQ(Bits(notes[t].samples), Bits(alone.samples));
    EXPECT_EQ(Bits(beats[t].samples), Bits(beat.samples));
  }
}

}  // namespace
