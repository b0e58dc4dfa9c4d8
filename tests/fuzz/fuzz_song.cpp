// Fuzzes beats through their grammar: the fuzzer's bytes choose a song text the way a person
// writes one (directives, `pattern NAME` sections with their own tempo, steps and swing, drum
// lines by kind, tab, hihat and key names with their settings, grids of every cell with brackets
// and bars, accent lines, `play` lines with counts and nested groups, comments, count lines, tabs,
// CRLF and a byte-order mark), now and then with one mistake in it.
//
// A text with a mistake must be refused at the mistake's line. Any other must be read as written,
// give a track of exactly E samples (beat_checks.h; a stereo track 2E samples in all), mix the same
// bytes twice and through the road (PlanRequest, RenderMix), and give labels with a row a hit and
// a MIDI file that the reader reads back with a note a hit; and its written text must read back
// as the same beat.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "beat/beat.h"
#include "beat_checks.h"
#include "midi/midi_file.h"
#include "request/request.h"

namespace {

using namespace kettorin;

// The fuzzer's bytes as choices: once they run out, every choice is the first and no chance is
// taken, so that a text always ends.
class Choices {
 public:
  Choices(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  // 0 to n - 1.
  uint64_t Below(uint64_t n) {
    if (n <= 1) return 0;
    uint64_t value = 0;
    for (uint64_t range = 1; range < n && at_ < size_; range <<= 8) {
      value = value << 8 | data_[at_++];
    }
    return value % n;
  }
  int64_t Between(int64_t lo, int64_t hi) {
    return lo + static_cast<int64_t>(Below(static_cast<uint64_t>(hi - lo + 1)));
  }
  bool OneIn(uint64_t n) { return at_ < size_ && Below(n) == 0; }
  template <typename T, size_t N>
  const T& Of(const T (&items)[N]) {
    return items[Below(N)];
  }
  // One of a string's characters (not its terminating zero).
  template <size_t N>
  char Char(const char (&chars)[N]) {
    return chars[Below(N - 1)];
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

constexpr const char* kKindNames[] = {
    "kick",     "snare",   "hihat_close", "hihatc",       "hihat_open", "hihato",       "high_tom",
    "tom",      "mid_tom", "low_tom",     "cowbell",      "clap",       "ride",         "crash",
    "Kickdrum", "snare2",  "tomtom",      "CRASH_cymbal", "ride.bell",  "hihatc-tight", "clap!"};
constexpr const char* kTabNames[] = {"bd", "b",  "k",  "sd", "sn", "s",  "ch", "oh", "hf",
                                     "fh", "t",  "t1", "ht", "t2", "mt", "t3", "ft", "lt",
                                     "f",  "cb", "cp", "r",  "rc", "rd", "c",  "cc", "cr"};
constexpr const char* kHiHatNames[] = {"hihat", "hh", "HH", "HiHat"};
constexpr const char* kAccentNames[] = {"accent", "ac", "AC", "Accent"};
// The General MIDI keys that play a drum.
constexpr int kKeys[] = {35, 36, 37, 38, 39, 40, 41, 42, 43, 44, 45, 46,
                         47, 48, 49, 50, 51, 52, 53, 55, 56, 57, 59};
constexpr char kCells[] = "xoXOg123456789fFdD?-.--..";
constexpr char kNameChars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_-.";
constexpr const char* kPatternNames[] = {"a",    "b",     "intro", "verse",    "chorus",
                                         "fill", "outro", "B2",    "groove_1", "pre-chorus",
                                         "v.2",  "x",     "play",  "tempo",    "kick"};

// A decimal setting's range in thousandths.
struct Range {
  const char* key;
  int64_t lo, hi;
};
constexpr Range kRanges[] = {{"ring", 1, 60000},  {"level", 0, 4000},       {"flam", 1, 100},
                             {"chance", 0, 1000}, {"shift", -50000, 50000}, {"pan", -1000, 1000}};

class SongWriter {
 public:
  explicit SongWriter(Choices& choose) : c_(choose) {}

  std::string text;
  int32_t mistakeLine = -1;  // where the one mistake is (0: the text as a whole); -1 for none
  bool song = false;
  std::vector<int32_t> gridSteps;  // each pattern's steps, in text order
  std::vector<int32_t> drumLines;  // each pattern's drum lines

  void Write() {
    mistakes_ = c_.OneIn(4);  // a text in four may have one
    song = !c_.OneIn(4);
    const int32_t patterns = song ? static_cast<int32_t>(c_.Between(1, 4)) : 1;
    for (int32_t p = 0; p < patterns; ++p) names_.push_back(PatternName());
    // The song's directives: tempo, steps and swing before the first pattern; the others (and
    // the play lines) after any pattern's lines, or before them all.
    static constexpr const char* kSongWide[] = {"seed", "humanize", "choke", "stereo", "repeat"};
    std::vector<std::pair<int32_t, std::string>> wide;  // (after how many patterns, line)
    for (const char* name : kSongWide) {
      if (c_.OneIn(3)) wide.emplace_back(static_cast<int32_t>(c_.Below(patterns + 1)), name);
    }
    for (int64_t n = song ? c_.Below(3) : 0; n > 0; --n) {
      wide.emplace_back(static_cast<int32_t>(c_.Below(patterns + 1)), "play");
    }
    for (const char* name : {"tempo", "steps", "swing"}) {
      if (c_.OneIn(2)) Directive(name);
    }
    if (!song && Mistake()) Line("play " + names_[0], true);  // a grid has no patterns to play
    if (song && Mistake()) Line("kick x-x-", true);           // a drum line under no pattern
    for (int32_t p = 0; p <= patterns; ++p) {
      for (const auto& [after, name] : wide) {
        if (after != p) continue;
        if (name == "play") {
          PlayLine();
        } else {
          Directive(name);
        }
      }
      if (p < patterns) Pattern(p, patterns);
    }
    if (c_.OneIn(3)) text += crlf_ ? "\r\n" : "\n";
    if (c_.OneIn(16)) text = "\xEF\xBB\xBF" + text;
  }

 private:
  // Whether this choice makes the text's one mistake.
  bool Mistake() {
    if (!mistakes_ || mistakeLine >= 0 || !c_.OneIn(16)) return false;
    mistakeLine = 0;  // the line is set when it is written
    return true;
  }

  std::string Blank() { return c_.OneIn(8) ? "\t" : c_.OneIn(8) ? "  " : " "; }

  // Appends a line, now and then after a blank, comment or count line; a comment may follow it.
  void Line(std::string line, bool wrong = false) {
    if (c_.OneIn(10)) {
      static constexpr const char* kNoise[] = {
          "", "# a comment", "1 e + a 2 e + a", "1   2   3   4", "  ", "1 + 2 + | 3 & 4 .", "#"};
      Append(c_.Of(kNoise));
    }
    if (c_.OneIn(10)) line = Blank() + line;
    if (c_.OneIn(10)) line += Blank() + "# " + std::to_string(c_.Below(100));
    Append(line);
    if (wrong) mistakeLine = number_;
  }

  void Append(const std::string& line) {
    if (number_ > 0) text += crlf_ ? "\r\n" : "\n";
    text += line;
    ++number_;
  }

  std::string PatternName() {
    for (int32_t attempt = 0;; ++attempt) {
      std::string name;
      if (c_.OneIn(4)) {
        for (int64_t n = c_.Between(1, 32); n > 0; --n) name += c_.Char(kNameChars);
      } else {
        name = c_.Of(kPatternNames);
      }
      if (!used_.count(name)) {
        used_.insert(name);
        return name;
      }
      name += std::to_string(attempt);
      if (name.size() <= 32 && !used_.count(name)) {
        used_.insert(name);
        return name;
      }
    }
  }

  // A directive with a value in its range, or (as the mistake) out of it, malformed or twice.
  void Directive(const std::string& name) {
    std::string value;
    if (name == "tempo") {
      value = std::to_string(c_.OneIn(4) ? c_.Between(1, 999) : c_.Between(60, 240));
    } else if (name == "steps") {
      static constexpr int kSteps[] = {1, 2, 3, 4, 6, 8};
      value = std::to_string(c_.OneIn(4) ? c_.Between(1, 64) : c_.Of(kSteps));
    } else if (name == "swing") {
      value = std::to_string(c_.Between(50, 75));
    } else if (name == "repeat") {
      value = std::to_string(c_.OneIn(16) ? c_.Between(1, 10000) : c_.Between(1, 3));
    } else if (name == "seed") {
      value = (c_.OneIn(8) ? "00" : "") + std::to_string(c_.Below(uint64_t{1} << 32));
    } else if (name == "humanize") {
      value = std::to_string(c_.Between(0, 100)) + Blank() + std::to_string(c_.Between(0, 100));
    } else if (name == "choke") {
      value = c_.OneIn(2) ? "on" : "off";
    }
    const std::string line = value.empty() ? name : name + Blank() + value;
    if (!Mistake()) {
      Line(line);
      return;
    }
    static constexpr const char* kWrong[][3] = {
        {"tempo", "0", "1000"},     {"steps", "0", "65"},         {"swing", "49", "76"},
        {"repeat", "0", "10001"},   {"seed", "4294967296", "-1"}, {"humanize", "101 0", "5"},
        {"choke", "yes", "on off"}, {"stereo", "on", "1"}};
    switch (c_.Below(4)) {
      case 0:  // given twice
        Line(line);
        Line(line, true);
        return;
      case 1:  // a value that is not a plain whole number
        Line(name + " " + (name == "stereo" ? "x" : "+1"), true);
        return;
      case 2:  // none
        Line(name == "stereo" ? "stereo stereo" : name, true);
        return;
      default:
        for (const auto& wrong : kWrong) {
          if (name == wrong[0]) Line(name + " " + wrong[1 + c_.Below(2)], true);
        }
        return;
    }
  }

  void Pattern(int32_t p, int32_t patterns) {
    if (song) {
      std::string line = "pattern" + Blank() + names_[static_cast<size_t>(p)];
      bool wrong = false;
      if (Mistake()) {
        wrong = true;
        static constexpr const char* kWrong[] = {"pattern", "pattern a b", "pattern a!b",
                                                 "pattern abcdefghijklmnopqrstuvwxyz0123456"};
        line = p > 0 && c_.OneIn(2) ? "pattern " + names_[0] : c_.Of(kWrong);
        // A wrong pattern line makes no pattern, so its drum lines would be the previous one's.
        names_[static_cast<size_t>(p)] = names_[0];
      }
      Line(line, wrong);
      if (wrong) {
        gridSteps.push_back(0);
        drumLines.push_back(0);
        return;
      }
    }
    // The pattern's items: its directives, its drum lines and an accent line, in any order.
    enum Item { kTempo, kSteps, kSwing, kDrum, kAccent };
    std::vector<Item> items;
    if (song) {
      for (Item d : {kTempo, kSteps, kSwing}) {
        if (c_.OneIn(3)) items.push_back(d);
      }
    }
    const bool empty = song && patterns > 1 && Mistake();
    const int64_t lines = empty ? 0 : c_.Between(1, 5);
    for (int64_t n = 0; n < lines; ++n) items.push_back(kDrum);
    if (!empty && c_.OneIn(4)) items.push_back(kAccent);
    for (size_t i = items.size(); i > 1; --i) std::swap(items[i - 1], items[c_.Below(i)]);
    if (empty) mistakeLine = number_;  // the pattern line
    const int32_t steps = static_cast<int32_t>(c_.OneIn(8) ? c_.Between(1, 64) : c_.Between(1, 16));
    gridSteps.push_back(steps);
    drumLines.push_back(static_cast<int32_t>(lines));
    bool first = true, accent = false;
    for (Item item : items) {
      switch (item) {
        case kTempo:
          Directive("tempo");
          break;
        case kSteps:
          Directive("steps");
          break;
        case kSwing:
          Directive("swing");
          break;
        case kDrum:
          DrumLine(steps, first);
          first = false;
          break;
        case kAccent:
          AccentLine(steps, first);
          first = false;
          accent = true;
          break;
      }
    }
    if (accent && Mistake()) Line("accent " + std::string(static_cast<size_t>(steps), 'x'), true);
  }

  // thousandths / 1000 written as a decimal: with an exponent, without a leading zero or a
  // fraction, with a sign.
  std::string Decimal(int64_t thousandths) {
    const bool negative = thousandths < 0;
    const uint64_t t = static_cast<uint64_t>(negative ? -thousandths : thousandths);
    char digits[48];
    switch (c_.Below(5)) {
      case 0:
        std::snprintf(digits, sizeof digits, "%llue-3", static_cast<unsigned long long>(t));
        break;
      case 1:
        std::snprintf(digits, sizeof digits, "%llu.%03llu",
                      static_cast<unsigned long long>(t / 1000),
                      static_cast<unsigned long long>(t % 1000));
        break;
      case 2:  // no leading zero, or no fraction
        if (t % 1000 == 0) {
          std::snprintf(digits, sizeof digits, "%llu", static_cast<unsigned long long>(t / 1000));
        } else {
          std::snprintf(digits, sizeof digits, "%s.%03llu",
                        t >= 1000 ? std::to_string(t / 1000).c_str() : "",
                        static_cast<unsigned long long>(t % 1000));
        }
        break;
      case 3:
        std::snprintf(digits, sizeof digits, "%llu.%03lluE0",
                      static_cast<unsigned long long>(t / 1000),
                      static_cast<unsigned long long>(t % 1000));
        break;
      default:
        std::snprintf(digits, sizeof digits, "0.%04llue1", static_cast<unsigned long long>(t));
        if (t >= 10000) {
          std::snprintf(digits, sizeof digits, "%llu.%03llu",
                        static_cast<unsigned long long>(t / 1000),
                        static_cast<unsigned long long>(t % 1000));
        }
        break;
    }
    return (negative ? "-" : c_.OneIn(6) ? "+" : "") + std::string(digits);
  }

  std::string Setting(size_t which) {
    if (which == 0) {
      std::string pitch(1, static_cast<char>('A' + c_.Below(7)));
      if (c_.OneIn(3)) pitch += c_.OneIn(2) ? '#' : 'b';
      return "pitch=" + pitch;
    }
    const Range& range = kRanges[which - 1];
    int64_t t = c_.OneIn(4) ? (c_.OneIn(2) ? range.lo : range.hi) : c_.Between(range.lo, range.hi);
    return std::string(range.key) + "=" + Decimal(t);
  }

  std::string Cell() { return std::string(1, c_.Char(kCells)); }

  // A grid of `steps` steps: cells, brackets of 1 to 16 cells, bars and blanks between them.
  std::string Grid(int32_t steps, bool brackets) {
    std::string grid = c_.OneIn(4) ? "|" : "";
    for (int32_t s = 0; s < steps; ++s) {
      if (s > 0 && c_.OneIn(5)) grid += "|";
      if (s > 0 && c_.OneIn(10)) grid += Blank();
      if (brackets && c_.OneIn(6)) {
        grid += "[";
        for (int64_t n = c_.OneIn(4) ? c_.Between(1, 16) : c_.Between(1, 4); n > 0; --n) {
          grid += Cell();
        }
        grid += "]";
      } else {
        grid += Cell();
      }
    }
    if (c_.OneIn(4)) grid += "|";
    return grid;
  }

  std::string DrumName() {
    std::string name;
    switch (c_.Below(5)) {
      case 0:
        name = c_.Of(kTabNames);
        break;
      case 1:
        name = c_.Of(kHiHatNames);
        break;
      case 2:
        name = std::to_string(c_.Of(kKeys));
        break;
      default:
        name = c_.Of(kKindNames);
        break;
    }
    if (c_.OneIn(4)) {
      for (char& ch : name) {
        if (ch >= 'a' && ch <= 'z' && c_.OneIn(2)) ch = static_cast<char>(ch - 32);
      }
    }
    return name;
  }

  // A drum line: its name, its settings in any order, and its grid, glued to the name by a bar
  // now and then. As the mistake: a wrong name, setting, cell, bracket or length.
  void DrumLine(int32_t steps, bool first) {
    std::string name = DrumName();
    std::vector<size_t> settings;
    for (size_t s = 0; s < 7; ++s) {
      if (c_.OneIn(5)) settings.push_back(s);
    }
    for (size_t i = settings.size(); i > 1; --i) {
      std::swap(settings[i - 1], settings[c_.Below(i)]);
    }
    int32_t length = steps;
    std::string wrongName, wrongSetting, wrongGrid, after;
    bool wrong = Mistake();
    if (wrong) {
      switch (c_.Below(6)) {
        case 0: {
          // (None starts with 1: "1.." would be a count line.)
          static constexpr const char* kNames[] = {"zork", "q1",  "34",  "60",
                                                   "0",    "200", "999", "xylophone"};
          wrongName = c_.Of(kNames);
          break;
        }
        case 1: {
          static constexpr const char* kSettings[] = {
              "volume=1",   "level=4.5", "ring=0",     "ring=61",  "flam=0.2",  "flam=0",
              "chance=1.5", "shift=51",  "pan=1.5",    "pan=-2",   "pitch=H",   "pitch=c",
              "pitch=C##",  "level=",    "level=1..2", "ring=abc", "level=+-1", "pan=1e"};
          wrongSetting = c_.Of(kSettings);
          break;
        }
        case 2: {
          static constexpr const char* kGrids[] = {
              "y", "Z", "*", "[]", "[xxxxxxxxxxxxxxxxx]", "[xx", "]", "[[x]]", "[x|x]", "[x x]"};
          wrongGrid = c_.Of(kGrids);
          break;
        }
        case 3:
          if (!first) {
            length = c_.OneIn(2) || steps == 1 ? steps + 1 : steps - 1;
            break;
          }
          [[fallthrough]];
        case 4:
          after = Blank() + Setting(c_.Below(7));  // a setting after the grid
          break;
        default:
          length = 0;  // no steps at all
          break;
      }
    }
    std::string line = wrongName.empty() ? name : wrongName;
    const bool glued = settings.empty() && wrongSetting.empty() && length > 0 && c_.OneIn(4);
    if (!wrongSetting.empty()) {
      settings.resize(std::min<size_t>(settings.size(), 1));
    }
    for (size_t s : settings) line += Blank() + Setting(s);
    if (!wrongSetting.empty()) {
      line += Blank() + wrongSetting;
      if (c_.OneIn(3) && !settings.empty()) line += Blank() + Setting(settings[0]);  // twice
    }
    if (length > 0) {
      std::string grid = Grid(length, true);
      if (!wrongGrid.empty()) {
        const size_t at = c_.Below(grid.size() + 1);
        grid.insert(at, wrongGrid);
        // Inside a bracket the mistake is a bracket's mistake all the same.
      }
      line += glued ? "|" + grid : Blank() + grid;
    } else if (!wrongGrid.empty()) {
      line += Blank() + wrongGrid;
    }
    line += after;
    Line(line, wrong);
  }

  void AccentLine(int32_t steps, bool first) {
    std::string line = c_.Of(kAccentNames);
    bool wrong = Mistake();
    int32_t length = steps;
    if (wrong) {
      switch (c_.Below(3)) {
        case 0:
          line += " level=1";
          break;
        case 1:
          if (!first) {
            length = steps + 1;
            break;
          }
          [[fallthrough]];
        default: {
          line += Blank() + Grid(steps - 1, false) + "[x]";
          Line(line, true);
          return;
        }
      }
    }
    Line(line + Blank() + Grid(length, false), wrong);
  }

  // Items of a play line: names and groups, each with a count or none, groups at most 8 deep.
  std::string Items(int32_t depth, int32_t& budget) {
    std::string items;
    for (int64_t n = c_.Between(1, 3); n > 0 && budget > 0; --n) {
      --budget;
      const bool group = depth < 8 && budget > 0 && c_.OneIn(4);  // never empty
      // Names stand apart; a group may touch what is before it, and a name a group before it.
      if (!items.empty() && (!(group || items.back() == ')') || !c_.OneIn(4))) items += Blank();
      if (group) {
        items += "(" + std::string(c_.OneIn(6) ? " " : "") + Items(depth + 1, budget) + ")";
      } else {
        items += names_[c_.Below(names_.size())];
      }
      if (c_.OneIn(3)) {
        items += "*" + std::to_string(c_.OneIn(32) ? c_.Between(1, 10000) : c_.Between(1, 4));
      }
    }
    return items;
  }

  void PlayLine() {
    int32_t budget = 12;
    std::string items = Items(0, budget);
    if (!Mistake()) {
      Line("play" + Blank() + items);
      return;
    }
    static constexpr const char* kWrong[] = {
        "*0", "*10001", "*",       " *2", " ()",    " (", " )", " (((((((((a)))))))))",
        "+b", ",",      " nosuch", "*2x", "*999999"};
    const char* wrong = c_.Of(kWrong);
    const bool unknown = std::strcmp(wrong, " nosuch") == 0;
    if (unknown && used_.count("nosuch")) {
      Line("play" + Blank() + items);
      mistakeLine = -1;
      return;
    }
    // The mistake at the end: after a name or ')' for the counts.
    Line("play " + items + wrong, true);
  }

  Choices& c_;
  bool crlf_ = c_.OneIn(8);
  bool mistakes_ = false;
  int32_t number_ = 0;
  std::vector<std::string> names_;
  std::set<std::string> used_;
};

// Says which check failed, then stops.
[[noreturn]] void Trap(int line = __builtin_LINE()) {
  std::fprintf(stderr, "fuzz_song.cpp:%d: check failed\n", line);
  __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2 || size > 1024) return 0;
  // The first two bytes choose how it is rendered; the rest write the text.
  static constexpr int32_t kRates[] = {1, 7, 50, 100, 250, 441, 1000};
  const int32_t rate = data[0] & 0x80 ? kRates[data[0] % 7] : 1 + (data[0] & 0x7F) * 2;
  const uint8_t flags = data[1];
  Choices choose(data + 2, size - 2);
  SongWriter writer(choose);
  writer.Write();
  const std::string& text = writer.text;
  // FUZZ_SONG_PRINT=1 shows each text and its mistake's line, to read a finding by.
  static const bool print = std::getenv("FUZZ_SONG_PRINT") != nullptr;
  if (print)
    std::fprintf(stderr, "mistake on line %d:\n%s\n----\n", writer.mistakeLine, text.c_str());

  Beat beat;
  const std::optional<BeatError> error = ReadBeat(text, beat);
  if (writer.mistakeLine >= 0) {
    if (!error || error->line != writer.mistakeLine) Trap();
    return 0;
  }
  if (error) Trap();  // a text written by the grammar is read
  fuzz::CheckBeatRead(beat);
  if (beat.IsSong() != writer.song || beat.patterns.size() != writer.gridSteps.size()) Trap();
  for (size_t p = 0; p < beat.patterns.size(); ++p) {
    if (beat.patterns[p].GridSteps() != writer.gridSteps[p] ||
        beat.patterns[p].lines.size() != static_cast<size_t>(writer.drumLines[p])) {
      Trap();
    }
  }

  // What the writer makes of it reads back as the same beat, and is written the same again.
  const std::string written = WriteBeat(beat);
  Beat again;
  if (ReadBeat(written, again) || WriteBeat(again) != written) Trap();

  BeatOptions options;
  options.sampleRate = rate;
  options.loop = flags & 1;
  if (flags & 2) options.channels = flags & 4 ? 2 : 1;
  if ((flags & 0x18) == 0x18) options.tempo = 1 + flags % 999 * 7 % 999;
  if (flags & 0x20) options.seed = flags * 0x01000193u;
  if ((flags & 0xC0) == 0xC0) options.choke = false;
  constexpr int64_t kLimit = int64_t{1} << 11;  // keeps each input fast
  // So do few hits: a song of more plays than a song may have is refused before any is laid
  // out, and one of many is left alone.
  const int64_t plays = PlayCount(beat, options.repeat.value_or(beat.repeat));
  int64_t cells = 0;
  for (const BeatPattern& pattern : beat.patterns) {
    int64_t of = 0;
    for (const BeatLine& line : pattern.lines) {
      of += static_cast<int64_t>(line.steps.size());
      for (const std::vector<Step>& bracket : line.brackets)
        of += static_cast<int64_t>(bracket.size());
    }
    cells = std::max(cells, of);
  }
  if (plays <= kMaxPlays && plays * cells > int64_t{1} << 11) return 0;
  Track track;
  BeatLayout layout;
  if (const std::optional<Failure> failure = BeatTrack(beat, options, kLimit, track, &layout)) {
    if (failure->status != kStatusNoStorage) Trap();
    return 0;
  }
  fuzz::CheckBeatTrack(beat, options, track, layout);
  bool panned = beat.stereo;
  for (const BeatPattern& pattern : beat.patterns) {
    for (const BeatLine& line : pattern.lines) panned = panned || line.pan.has_value();
  }
  if (track.channels != options.channels.value_or(panned ? 2 : 1)) Trap();
  // The written text plays the same hits.
  Track same;
  if (BeatTrack(again, options, kLimit, same) || same.length != track.length ||
      same.channels != track.channels || same.hits.size() != track.hits.size()) {
    Trap();
  }
  for (size_t h = 0; h < track.hits.size(); ++h) {
    const Hit& a = track.hits[h];
    const Hit& b = same.hits[h];
    if (a.kind != b.kind || a.start != b.start || a.length != b.length || a.stem != b.stem ||
        std::memcmp(&a.frequency, &b.frequency, sizeof(float)) != 0 ||
        std::memcmp(&a.level, &b.level, sizeof(float)) != 0 ||
        std::memcmp(&a.pan, &b.pan, sizeof(a.pan)) != 0) {
      Trap();
    }
  }
  std::vector<float> mix(static_cast<size_t>(track.length) * static_cast<size_t>(track.channels));
  RenderTrack(track, {}, mix, {rate});

  // The road plans the same track, mixes it into the same bytes, and exports every hit.
  Request request(Source::kBeat, text);
  request.options.sampleRate = rate;
  request.options.loop = options.loop;
  request.options.channels = options.channels;
  request.options.tempo = options.tempo;
  request.options.seed = options.seed;
  request.options.choke = options.choke;
  Plan plan;
  if (PlanRequest(request, plan)) Trap();
  if (plan.length != track.length || plan.channels != track.channels ||
      plan.track.hits.size() != track.hits.size() ||
      plan.layout.sources.size() != track.hits.size()) {
    Trap();
  }
  std::vector<float> out(mix.size());
  RenderMix(plan, out);
  if (!out.empty() && std::memcmp(out.data(), mix.data(), out.size() * sizeof(float)) != 0) Trap();

  const std::string labels = LabelsCsv(plan);
  size_t rows = 0;
  for (char ch : labels) rows += ch == '\n';
  if (rows != track.hits.size() + 1) Trap();
  std::vector<uint8_t> bytes;
  if (BeatMidi(plan, bytes)) Trap();
  MidiFile file;
  if (ReadMidi(bytes, file) || file.tracks.size() != 1) Trap();
  const std::vector<MidiNote>& notes = file.tracks[0].notes;
  if (notes.size() != track.hits.size()) Trap();
  for (const MidiNote& note : notes) {
    if (note.channel != 9) Trap();
  }
  return 0;
}
