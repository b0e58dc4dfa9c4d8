// The note reader: which bytes make notes, their pitch, duration number, duration and shown number.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "compose/compose.h"
#include "wav/wav_writer.h"
#include "tests/test_support.h"

namespace kettorin {
namespace {

struct Expected {
  std::string name;
  int32_t number;
  int32_t shown;
  float frequency;
};

std::vector<Note> ReadAll(std::string_view text, float beat = 0.5f) {
  std::vector<Note> notes;
  Note note;
  for (size_t pos = 0; ReadNote(text, pos, beat, note);) notes.push_back(note);
  return notes;
}

struct Case {
  const char* text;
  std::vector<Expected> notes;
};

void PrintTo(const Case& c, std::ostream* os) {
  testing_support::PrintFields(os, std::string(c.text), c.notes.size());
}

class NoteGrammar : public testing::TestWithParam<Case> {};

TEST_P(NoteGrammar, ReadsNotesAsWritten) {
  const Case& c = GetParam();
  const std::vector<Note> notes = ReadAll(c.text);
  ASSERT_EQ(notes.size(), c.notes.size()) << c.text;
  for (size_t i = 0; i < notes.size(); ++i) {
    EXPECT_EQ(notes[i].name.c_str(), c.notes[i].name) << c.text << " note " << i;
    EXPECT_EQ(notes[i].number, c.notes[i].number) << c.text << " note " << i;
    EXPECT_EQ(notes[i].frequency, c.notes[i].frequency) << c.text << " note " << i;
    if (IsPlayed(notes[i])) {
      EXPECT_EQ(notes[i].shownNumber, c.notes[i].shown) << c.text;
    }
  }
}

constexpr float kCSharp = 262.0f * 1.0594631f;
constexpr float kDFlat = 294.0f * 0.94387424f;

INSTANTIATE_TEST_SUITE_P(
    Cases, NoteGrammar,
    testing::Values(
        Case{"", {}}, Case{"c d e", {}}, Case{"H X7 123", {}}, Case{"C", {{"C", 4, 1, 262.0f}}},
        Case{"C4", {{"C", 4, 1, 262.0f}}},
        Case{"C1 C2 C3 C8 C16",
             {{"C", 1, 1, 262.0f},
              {"C", 2, 2, 262.0f},
              {"C", 3, 1, 262.0f},
              {"C", 8, 0, 262.0f},
              {"C", 16, 0, 262.0f}}},
        Case{"A B C D E F G",
             {{"A", 4, 1, 440.0f},
              {"B", 4, 1, 494.0f},
              {"C", 4, 1, 262.0f},
              {"D", 4, 1, 294.0f},
              {"E", 4, 1, 330.0f},
              {"F", 4, 1, 349.0f},
              {"G", 4, 1, 392.0f}}},
        // Sharps and flats multiply the letter's whole-hertz value: C# and Db differ.
        Case{"C# Db", {{"C#", 4, 1, kCSharp}, {"Db", 4, 1, kDFlat}}},
        Case{"E#", {{"E#", 4, 1, 330.0f * 1.0594631f}}},
        // Only one accidental: the second is a skipped byte.
        Case{"C#b Cb#", {{"C#", 4, 1, kCSharp}, {"Cb", 4, 1, 262.0f * 0.94387424f}}},
        // A space ends the note; a letter right after the digits starts the next one.
        Case{"C 8", {{"C", 4, 1, 262.0f}}}, Case{"C8D", {{"C", 8, 0, 262.0f}, {"D", 4, 1, 294.0f}}},
        Case{"C,D;E\tF",
             {{"C", 4, 1, 262.0f}, {"D", 4, 1, 294.0f}, {"E", 4, 1, 330.0f}, {"F", 4, 1, 349.0f}}},
        // Digit runs wrap in 32 bits: 2^32 + 2 is 2, 2^31 is negative, 2^32 is 0 (skipped).
        Case{"C4294967298", {{"C", 2, 2, 262.0f}}},
        Case{"C2147483648", {{"C", INT32_MIN, 0, 262.0f}}},
        Case{"C0 C4294967296 D00", {{"C", 0, 0, 262.0f}, {"C", 0, 0, 262.0f}, {"D", 0, 0, 294.0f}}},
        Case{"C-3", {{"C", 4, 1, 262.0f}}}));

TEST(NoteReader, DurationIsBeatOverNumberAndZeroIsNotPlayed) {
  const std::vector<Note> notes = ReadAll("C2 C0 C3 C2147483648", 0.5f);
  ASSERT_EQ(notes.size(), 4u);
  EXPECT_EQ(notes[0].duration, 0.25f);
  EXPECT_FALSE(IsPlayed(notes[1]));
  EXPECT_EQ(notes[2].duration, 0.5f / 3.0f);
  EXPECT_LT(notes[3].duration, 0.0f);  // reported, but a negative duration renders nothing
}

TEST(NoteReader, CountSamplesSumsEveryPlayedNote) {
  // Tempo 100 at 800 Hz: each quarter-beat note is trunc(800 x 0.15) = 120 samples.
  const float beat = 60.0f / 100.0f;
  EXPECT_EQ(CountSamples("C D", beat, 800, INT64_MAX), 240);
  EXPECT_EQ(CountSamples("C0 D-", beat, 800, INT64_MAX), 120);
  EXPECT_EQ(CountSamples("C2147483648", beat, 800, INT64_MAX), 0);
  // Far beyond any file: counting stops once past the limit, without overflowing.
  const std::string many(100000, 'C');
  EXPECT_GT(CountSamples(many + "1", 60.0f, INT32_MAX, MaxSamples(WavFormat::kPcm16)),
            MaxSamples(WavFormat::kPcm16));

  // The decision at the largest 16-bit file, 2,147,483,629 samples, and one more, taken without
  // allocating. At 2^24 Hz and tempo 60 the note C<2^k> is exactly 2^(24-k) samples: 127 whole
  // notes and one note for each bit of 2^24 - 19.
  const int64_t limit = MaxSamples(WavFormat::kPcm16);
  EXPECT_EQ(limit, 2147483629);
  EXPECT_EQ(MaxSamples(WavFormat::kFloat32), 1073741811);
  std::string exact;
  for (int i = 0; i < 127; ++i) exact += "C1 ";
  for (int bit = 0; bit < 24; ++bit) {
    if (((1 << 24) - 19) >> bit & 1) exact.append("C").append(std::to_string(1 << (24 - bit))) += ' ';
  }
  const std::string oneMore = exact + "C16777216";
  Composition plan;
  EXPECT_EQ(PlanComposition({"kick", exact, 1 << 24, 60}, limit, plan), std::nullopt);
  EXPECT_EQ(plan.samples, limit);
  const std::optional<Failure> refused =
      PlanComposition({"kick", oneMore, 1 << 24, 60}, limit, plan);
  ASSERT_TRUE(refused.has_value());
  EXPECT_EQ(refused->status, kStatusNoStorage);
  EXPECT_EQ(refused->message,
            "The composition is too long for a WAV file: more than 2147483629 samples.");
}

}  // namespace
}  // namespace kettorin
