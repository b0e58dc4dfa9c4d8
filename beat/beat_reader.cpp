// The beat reader: directives, drum lines with their settings, and step grids.
#include <algorithm>
#include <array>
#include <charconv>
#include <variant>
#include <cstdlib>
#include <string>

#include "beat/beat.h"
#include "beat/order.h"
#include "compose/notes.h"
#include "track/decimal.h"

namespace kettorin {

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

// A line with its comment and line ending removed. '#' starts a comment at the start of the line
// or after a blank, so that "pitch=C#" keeps its sharp.
std::string_view Content(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  for (size_t i = 0; i < line.size(); ++i) {
    if (line[i] == '#' && (i == 0 || IsBlank(line[i - 1]))) return line.substr(0, i);
  }
  return line;
}

std::vector<std::string_view> Words(std::string_view line) {
  std::vector<std::string_view> words;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && IsBlank(line[i])) ++i;
    const size_t start = i;
    while (i < line.size() && !IsBlank(line[i])) ++i;
    if (i > start) words.push_back(line.substr(start, i - start));
  }
  return words;
}

std::string Quoted(std::string_view text) {
  std::string quoted;
  quoted.reserve(text.size() + 2);
  quoted.append(1, '\'').append(text).append(1, '\'');
  return quoted;
}

// A whole number in plain decimal digits, or nothing (too large counts as nothing).
std::optional<int64_t> PlainNumber(std::string_view text) {
  if (text.empty() || text.size() > 18) return std::nullopt;
  int64_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return value;
}

// The directives: tempo, steps and swing belong to the pattern they stand in (the song's, before
// the first `pattern` line); the others always to the song.
struct Directive {
  std::string_view name;
  int64_t min, max;
};

enum : size_t { kTempo, kSteps, kSwing, kRepeat, kSeed, kHumanize, kChoke, kStereo };

constexpr Directive kDirectives[] = {
    {"tempo", kMinTempo, kMaxTempo},   {"steps", kMinSteps, kMaxSteps},
    {"swing", kMinSwing, kMaxSwing},   {"repeat", kMinRepeat, kMaxRepeat},
    {"seed", 0, UINT32_MAX},           {"humanize", 0, 100},
    {"choke", 0, 1},                   {"stereo", 0, 0},
};

// The names drummers write in tabs, each the kind it plays.
struct TabName {
  std::string_view name;
  DrumKind kind;
};

constexpr TabName kTabNames[] = {
    {"bd", DrumKind::kKick},        {"b", DrumKind::kKick},         {"k", DrumKind::kKick},
    {"sd", DrumKind::kSnare},       {"sn", DrumKind::kSnare},       {"s", DrumKind::kSnare},
    {"ch", DrumKind::kHiHatClosed}, {"oh", DrumKind::kHiHatOpen},   {"hf", DrumKind::kHiHatClosed},
    {"fh", DrumKind::kHiHatClosed}, {"t", DrumKind::kHighTom},      {"t1", DrumKind::kHighTom},
    {"ht", DrumKind::kHighTom},     {"t2", DrumKind::kMidTom},      {"mt", DrumKind::kMidTom},
    {"t3", DrumKind::kLowTom},      {"ft", DrumKind::kLowTom},      {"lt", DrumKind::kLowTom},
    {"f", DrumKind::kLowTom},       {"cb", DrumKind::kCowbell},     {"cp", DrumKind::kClap},
    {"r", DrumKind::kRide},         {"rc", DrumKind::kRide},        {"rd", DrumKind::kRide},
    {"c", DrumKind::kCrash},        {"cc", DrumKind::kCrash},       {"cr", DrumKind::kCrash},
};

bool EqualNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && MatchPrefixNoCase(a, b, a.size());
}

// A count line of a tab ("1 e + a 2 e + a", "1   2   3   4"): skipped.
bool IsCountLine(std::string_view first, std::string_view content) {
  if (first.empty() || first[0] != '1') return false;
  return content.find_first_not_of("0123456789 \t|+&ea.") == std::string_view::npos;
}

// Whether any line of the text starts with the word `pattern`: then every drum line must stand
// under one, which a drum line before the first can only know by looking ahead.
bool HasPatternLine(std::string_view text) {
  while (!text.empty()) {
    const size_t end = text.find('\n');
    const std::vector<std::string_view> words = Words(Content(text.substr(0, end)));
    if (!words.empty() && words[0] == "pattern") return true;
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return false;
}

class Reader {
 public:
  Reader(Beat& beat, bool song, const KeyMap& keys)
      : beat_(beat), song_(song), keyKinds_(KeyKinds(keys)) {
    if (!song_) beat_.patterns.emplace_back();  // a plain grid: the one pattern there is
  }

  std::optional<BeatError> Line(int32_t number, std::string_view line) {
    number_ = number;
    const std::string_view content = Content(line);
    const std::vector<std::string_view> words = Words(content);
    if (words.empty() || IsCountLine(words[0], content)) return std::nullopt;
    if (song_ && words[0] == "pattern") return ReadPattern(words);
    if (words[0] == "play") return ReadPlay(content);
    for (const Directive& directive : kDirectives) {
      if (words[0] == directive.name) return ReadDirective(directive, words);
    }
    if (beat_.patterns.empty()) {
      return Error(
          "a drum line before the first pattern: in a song every drum line stands under a "
          "'pattern NAME' line");
    }
    return ReadDrumLine(words);
  }

  // What can only be checked once the whole text is read: that there are drum lines, that every
  // pattern has some, and that the play lines name patterns there are; the lowest line first.
  std::optional<BeatError> Finish() {
    const bool anyLines =
        std::any_of(beat_.patterns.begin(), beat_.patterns.end(),
                    [](const BeatPattern& pattern) { return !pattern.lines.empty(); });
    if (!anyLines) {
      return BeatError{
          0, "no drum lines: a line names a drum and gives its steps, such as 'kick x---x---'"};
    }
    std::optional<BeatError> first;
    for (const BeatPattern& pattern : beat_.patterns) {
      if (pattern.lines.empty()) {
        first = BeatError{pattern.lineNumber,
                          "pattern '" + pattern.name + "' has no drum lines"};
        break;
      }
    }
    const PatternNames names(beat_);
    for (const auto& [line, items] : plays_) {
      std::vector<PlayItem> read;
      if (std::optional<std::string> wrong = ParseOrder(items, &names, read)) {
        if (!first || line < first->line) first = BeatError{line, *wrong};
        break;
      }
      beat_.order.insert(beat_.order.end(), read.begin(), read.end());
    }
    if (first) beat_.order.clear();
    return first;
  }

 private:
  BeatError Error(std::string message) const { return {number_, std::move(message)}; }

  std::optional<BeatError> ReadPattern(const std::vector<std::string_view>& words) {
    if (words.size() != 2) return Error("pattern takes one name");
    const std::string_view name = words[1];
    if (!IsPatternName(name)) {
      return Error("a pattern's name is 1 to 32 letters, digits, '_', '-' or '.', got " +
                   Quoted(name));
    }
    for (const BeatPattern& pattern : beat_.patterns) {
      if (pattern.name == name) {
        return Error("pattern " + Quoted(name) + " given twice (first on line " +
                     std::to_string(pattern.lineNumber) + ")");
      }
    }
    BeatPattern& pattern = beat_.patterns.emplace_back();
    pattern.name = name;
    pattern.lineNumber = number_;
    for (size_t d = kTempo; d < kRepeat; ++d) patternSeen_[d] = 0;
    firstLine_ = 0;
    return std::nullopt;
  }

  std::optional<BeatError> ReadPlay(std::string_view content) {
    const size_t at = content.find("play");
    const std::string_view items = content.substr(at + 4);
    std::vector<PlayItem> form;
    if (std::optional<std::string> wrong = ParseOrder(items, nullptr, form)) return Error(*wrong);
    if (form.empty()) {
      return Error("play takes the patterns to play, such as 'play intro verse*4 (a b)*2'");
    }
    plays_.emplace_back(number_, items);
    return std::nullopt;
  }

  std::optional<BeatError> ReadDirective(const Directive& directive,
                                         const std::vector<std::string_view>& words) {
    const std::string name(directive.name);
    const auto d = static_cast<size_t>(&directive - kDirectives);
    // Before the first pattern, and all but tempo, steps and swing anywhere, set the song's.
    const bool ofPattern = song_ && !beat_.patterns.empty() && d <= kSwing;
    int32_t& seenOn = ofPattern ? patternSeen_[d] : songSeen_[d];
    if (seenOn != 0) {
      return Error(name + " given twice (first on line " + std::to_string(seenOn) + ")");
    }
    seenOn = number_;
    if (d == kStereo) {
      if (words.size() != 1) return Error("stereo takes nothing after it");
      beat_.stereo = true;
      return std::nullopt;
    }
    if (d == kChoke) {
      if (words.size() != 2 || (words[1] != "on" && words[1] != "off")) {
        return Error("choke takes on or off");
      }
      beat_.choke = words[1] == "on";
      return std::nullopt;
    }
    const size_t count = d == kHumanize ? 2 : 1;
    if (words.size() != count + 1) {
      return Error(d == kHumanize ? "humanize takes two whole numbers: MS PERCENT"
                                  : name + " takes one whole number");
    }
    int64_t values[2] = {};
    for (size_t v = 0; v < count; ++v) {
      const std::optional<int64_t> value = PlainNumber(words[v + 1]);
      if (!value) return Error(name + " takes a whole number, got " + Quoted(words[v + 1]));
      if (*value < directive.min || *value > directive.max) {
        return Error(name + " must be " + std::to_string(directive.min) + " to " +
                     std::to_string(directive.max) + ", got " + std::string(words[v + 1]));
      }
      values[v] = *value;
    }
    const auto number = static_cast<int32_t>(values[0]);
    if (d == kSeed) {
      beat_.seed = static_cast<uint32_t>(values[0]);
    } else if (d == kHumanize) {
      beat_.humanizeMs = number;
      beat_.humanizePercent = static_cast<int32_t>(values[1]);
    } else if (ofPattern) {
      BeatPattern& pattern = beat_.patterns.back();
      (d == kTempo ? pattern.tempo : d == kSteps ? pattern.steps : pattern.swing) = number;
    } else {
      (d == kTempo ? beat_.tempo : d == kSteps ? beat_.steps : d == kSwing ? beat_.swing
                                                                           : beat_.repeat) = number;
    }
    return std::nullopt;
  }

  // What a line's name plays, looked up in turn: the accent line, a hihat line, a tab name, a key
  // number, and the kinds' keys as prefixes.
  struct Named {
    bool accent = false;
    bool hihat = false;
    DrumKind kind = DrumKind::kKick;
    std::optional<int32_t> key;
  };

  std::variant<Named, BeatError> LookUp(std::string_view name) const {
    Named named;
    if (EqualNoCase(name, "accent") || EqualNoCase(name, "ac")) {
      named.accent = true;
      return named;
    }
    if (EqualNoCase(name, "hihat") || EqualNoCase(name, "hh")) {
      named.hihat = true;
      named.kind = DrumKind::kHiHatClosed;
      return named;
    }
    for (const TabName& tab : kTabNames) {
      if (EqualNoCase(name, tab.name)) {
        named.kind = tab.kind;
        return named;
      }
    }
    if (const std::optional<int64_t> key = PlainNumber(name)) {
      if (*key > 127) return Error("a key number is 0 to 127, got " + std::string(name));
      const std::optional<DrumKind> kind = keyKinds_[static_cast<size_t>(*key)];
      if (!kind) {
        return Error("key " + std::string(name) + " plays no drum (--map " + std::string(name) +
                     "=DRUM gives it one)");
      }
      named.kind = *kind;
      named.key = static_cast<int32_t>(*key);
      return named;
    }
    const std::optional<DrumKind> kind = FindDrumKind(name);
    if (!kind) return Error(UnknownDrum(name));
    named.kind = *kind;
    return named;
  }

  // A decimal setting in its range, or what is wrong with it.
  std::optional<BeatError> ReadDecimal(std::string_view key, std::string_view value, float lo,
                                       float hi, const char* range, float& into) const {
    const std::optional<float> number = kettorin::ReadDecimal(value);
    if (!number || !(*number >= lo && *number <= hi)) {
      return Error(std::string(key) + " must be " + range + ", got " + Quoted(value));
    }
    into = *number;
    return std::nullopt;
  }

  // A grid word's cells onto the line: cells, | for the eye, and brackets that divide a step.
  std::optional<BeatError> ReadCells(std::string_view word, bool accentLine, BeatLine& line) {
    for (size_t i = 0; i < word.size(); ++i) {
      const char c = word[i];
      if (c == '|') continue;
      if (c == '[') {
        if (accentLine) return Error("the accent line has no brackets");
        const size_t close = word.find(']', i + 1);
        const std::string_view inside =
            word.substr(i + 1, close == std::string_view::npos ? std::string_view::npos
                                                               : close - i - 1);
        if (close == std::string_view::npos) {
          return Error("'[' without its ']' (a bracket holds cells, with no blanks or |)");
        }
        if (inside.empty() || inside.size() > static_cast<size_t>(kMaxBracketCells)) {
          return Error("a bracket holds 1 to 16 cells, got " + std::to_string(inside.size()));
        }
        std::vector<Step>& cells = line.brackets.emplace_back();
        for (char inner : inside) {
          const std::optional<Step> step = ReadStep(inner, line.hihat);
          if (!step) {
            return Error("unexpected " + Quoted(std::string(1, inner)) +
                         " in a bracket (cells only: no brackets, blanks or |)");
          }
          cells.push_back(*step);
        }
        line.steps.push_back(Step::kBracket);
        i = close;
        continue;
      }
      if (c == ']') return Error("']' without its '['");
      const std::optional<Step> step = ReadStep(c, line.hihat);
      if (!step) {
        return Error("unexpected " + Quoted(std::string(1, c)) +
                     " in the grid (x o X O g 1-9 f F d D ? [ ] - . | and blanks)");
      }
      line.steps.push_back(*step);
    }
    return std::nullopt;
  }

  std::optional<BeatError> ReadDrumLine(std::vector<std::string_view> words) {
    // A name ends at the first blank or |: "HH|x-x-|" is HH and its grid.
    const size_t bar = words[0].find('|');
    std::string_view gridStart;
    if (bar != std::string_view::npos) {
      gridStart = words[0].substr(bar);
      words[0] = words[0].substr(0, bar);
    }
    const std::variant<Named, BeatError> looked = LookUp(words[0]);
    if (const BeatError* error = std::get_if<BeatError>(&looked)) return *error;
    const Named& named = std::get<Named>(looked);
    BeatLine line;
    line.lineNumber = number_;
    line.kind = named.kind;
    line.hihat = named.hihat;
    line.key = named.key;
    line.ring = Info(named.kind).ringSeconds;
    bool seen[7] = {};
    constexpr std::string_view kSettings[] = {"pitch", "ring",  "level", "flam",
                                              "chance", "shift", "pan"};
    size_t w = 1;
    for (; gridStart.empty() && w < words.size() &&
           words[w].find('=') != std::string_view::npos;
         ++w) {
      if (named.accent) return Error("the accent line takes no settings");
      const std::string_view word = words[w];
      const size_t eq = word.find('=');
      const std::string_view key = word.substr(0, eq);
      const std::string_view value = word.substr(eq + 1);
      const size_t which = static_cast<size_t>(
          std::find(std::begin(kSettings), std::end(kSettings), key) - std::begin(kSettings));
      if (which == std::size(kSettings)) {
        return Error("unknown setting " + Quoted(key) +
                     " (pitch, ring, level, flam, chance, shift, pan)");
      }
      if (seen[which]) return Error(std::string(key) + " given twice");
      seen[which] = true;
      std::optional<BeatError> wrong;
      switch (which) {
        case 0: {
          const std::optional<NoteName> pitch = ReadPitch(value);
          if (!pitch) {
            return Error("pitch takes a note A to G with an optional # or b, got " +
                         Quoted(value));
          }
          line.pitch = *pitch;
          break;
        }
        case 1:
          wrong = ReadDecimal(key, value, 0.001f, 60.0f, "0.001 to 60 seconds", line.ring);
          line.ringGiven = true;
          break;
        case 2:
          wrong = ReadDecimal(key, value, 0.0f, 4.0f, "0 to 4", line.level);
          break;
        case 3:
          wrong = ReadDecimal(key, value, 0.001f, 0.1f, "0.001 to 0.1 seconds", line.flam);
          break;
        case 4:
          wrong = ReadDecimal(key, value, 0.0f, 1.0f, "0 to 1", line.chance);
          break;
        case 5:
          wrong = ReadDecimal(key, value, -50.0f, 50.0f, "-50 to 50 milliseconds", line.shift);
          break;
        default:
          line.pan = 0.0f;
          wrong = ReadDecimal(key, value, kMinPan, kMaxPan, "-1 (left) to 1 (right)", *line.pan);
          break;
      }
      if (wrong) return wrong;
    }
    line.frequency = NoteFrequency(line.pitch);

    if (std::optional<BeatError> wrong = ReadCells(gridStart, named.accent, line)) return wrong;
    for (; w < words.size(); ++w) {
      if (words[w].find('=') != std::string_view::npos) {
        return Error("settings come before the grid: " + Quoted(words[w]));
      }
      if (std::optional<BeatError> wrong = ReadCells(words[w], named.accent, line)) return wrong;
    }
    if (line.steps.empty()) return Error(std::string(words[0]) + " has no steps");
    BeatPattern& pattern = beat_.patterns.back();
    const bool first = pattern.lines.empty() && pattern.accents.empty();
    const size_t count = !pattern.lines.empty() ? pattern.lines[0].steps.size()
                                                : pattern.accents.size();
    const int32_t firstLine = firstLine_;
    if (first) {
      firstLine_ = number_;
    } else if (line.steps.size() != count) {
      const std::string which =
          song_ ? "the first drum line of " + Quoted(pattern.name) : "the first drum line";
      return Error(std::to_string(line.steps.size()) + " steps, but line " +
                   std::to_string(firstLine) + " (" + which + ") has " + std::to_string(count));
    }
    if (named.accent) {
      if (!pattern.accents.empty()) {
        return Error("a second accent line (the first is on line " +
                     std::to_string(pattern.accentLine) + ")");
      }
      pattern.accentLine = number_;
      for (Step step : line.steps) pattern.accents.push_back(step != Step::kRest);
      return std::nullopt;
    }
    pattern.lines.push_back(std::move(line));
    return std::nullopt;
  }

  Beat& beat_;
  const bool song_;
  const std::array<std::optional<DrumKind>, 128> keyKinds_;
  int32_t firstLine_ = 0;  // the current pattern's first line, which sets its steps
  int32_t number_ = 0;
  int32_t songSeen_[std::size(kDirectives)] = {};
  int32_t patternSeen_[std::size(kDirectives)] = {};
  std::vector<std::pair<int32_t, std::string_view>> plays_;  // each play line's items
};

}  // namespace

std::optional<NoteName> ReadPitch(std::string_view text) {
  const bool letter = !text.empty() && text[0] >= 'A' && text[0] <= 'G';
  const bool accidental =
      text.size() == 1 || (text.size() == 2 && (text[1] == '#' || text[1] == 'b'));
  if (!letter || !accidental) return std::nullopt;
  return NoteName{{text[0], text.size() == 2 ? text[1] : '\0', '\0'}};
}

std::optional<Step> ReadStep(char symbol, bool hihatLine) {
  if (symbol >= '1' && symbol <= '9') {
    return static_cast<Step>(static_cast<int>(Step::kVelocity1) + (symbol - '1'));
  }
  switch (symbol) {
    case '-':
    case '.':
      return Step::kRest;
    case 'x':
      return Step::kHit;
    case 'o':
      return hihatLine ? Step::kOpen : Step::kHit;
    case 'X':
      return Step::kAccent;
    case 'O':
      return hihatLine ? Step::kOpenAccent : Step::kAccent;
    case 'g':
      return Step::kGhost;
    case 'f':
      return Step::kFlam;
    case 'F':
      return Step::kFlamAccent;
    case 'd':
      return Step::kDrag;
    case 'D':
      return Step::kDragAccent;
    case '?':
      return Step::kChance;
    default:
      return std::nullopt;
  }
}

float StepLevel(Step step) {
  if (step >= Step::kVelocity1 && step <= Step::kVelocity9) {
    const int digit = static_cast<int>(step) - static_cast<int>(Step::kVelocity1) + 1;
    return static_cast<float>(digit) / 9.0f;
  }
  switch (step) {
    case Step::kHit:
    case Step::kOpen:
    case Step::kFlam:
    case Step::kDrag:
    case Step::kChance:
      return 0.7f;
    case Step::kAccent:
    case Step::kOpenAccent:
    case Step::kFlamAccent:
    case Step::kDragAccent:
      return 1.0f;
    case Step::kGhost:
      return 0.35f;
    default:
      return 0.0f;
  }
}

int32_t GraceNotes(Step step) {
  if (step == Step::kFlam || step == Step::kFlamAccent) return 1;
  if (step == Step::kDrag || step == Step::kDragAccent) return 2;
  return 0;
}

std::optional<BeatError> ReadBeat(std::string_view text, Beat& beat, const KeyMap& keys) {
  beat = Beat{};
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  Reader reader(beat, HasPatternLine(text), keys);
  int32_t number = 0;
  while (!text.empty() || number == 0) {
    const size_t end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    if (number < INT32_MAX) ++number;
    if (std::optional<BeatError> error = reader.Line(number, line)) return error;
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return reader.Finish();
}

std::string Describe(const BeatError& error) {
  if (error.line == 0) return error.message;
  return "line " + std::to_string(error.line) + ": " + error.message;
}

}  // namespace kettorin
