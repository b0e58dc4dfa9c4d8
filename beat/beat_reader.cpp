// The beat reader: directives, drum lines with their settings, and step grids.
#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <string>

#include "beat/beat.h"
#include "beat/order.h"
#include "compose/notes.h"

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

// The float nearest to a decimal number (digits, an optional point and fraction, an optional
// exponent), independent of the locale.
std::optional<float> DecimalFloat(std::string_view text) {
  if (text.empty()) return std::nullopt;
  for (char c : text) {
    const bool allowed =
        (c >= '0' && c <= '9') || c == '.' || c == 'e' || c == 'E' || c == '-' || c == '+';
    if (!allowed) return std::nullopt;
  }
  float value = 0;
#if defined(__cpp_lib_to_chars)
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
#else
  // Without a floating-point from_chars (WebAssembly's C++ library), musl's strtof, which reads
  // the same decimal point in every locale.
  const std::string copy(text);
  char* end = nullptr;
  value = std::strtof(copy.c_str(), &end);
  if (end != copy.c_str() + copy.size()) return std::nullopt;
#endif
  return value;
}

// The directives: tempo, steps and swing belong to the pattern they stand in (the song's, before
// the first `pattern` line); repeat always to the song.
struct Directive {
  std::string_view name;
  int32_t min, max;
};

enum : size_t { kTempo, kSteps, kSwing, kRepeat };

constexpr Directive kDirectives[] = {
    {"tempo", kMinTempo, kMaxTempo},
    {"steps", kMinSteps, kMaxSteps},
    {"swing", kMinSwing, kMaxSwing},
    {"repeat", kMinRepeat, kMaxRepeat},
};

std::string KindChoices() {
  std::string list;
  for (const DrumKindInfo& info : kDrumKinds) {
    list += (list.empty() ? "" : ", ") + std::string(ShortName(info.kind));
  }
  return list;
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
  Reader(Beat& beat, bool song) : beat_(beat), song_(song) {
    if (!song_) beat_.patterns.emplace_back();  // a plain grid: the one pattern there is
  }

  std::optional<BeatError> Line(int32_t number, std::string_view line) {
    number_ = number;
    const std::string_view content = Content(line);
    const std::vector<std::string_view> words = Words(content);
    if (words.empty()) return std::nullopt;
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
    // Before the first pattern, and `repeat` anywhere, set the song's; the rest a pattern's.
    const bool ofPattern = song_ && !beat_.patterns.empty() && d != kRepeat;
    int32_t& seenOn = ofPattern ? patternSeen_[d] : songSeen_[d];
    if (seenOn != 0) {
      return Error(name + " given twice (first on line " + std::to_string(seenOn) + ")");
    }
    seenOn = number_;
    if (words.size() != 2) return Error(name + " takes one whole number");
    const std::optional<int64_t> value = PlainNumber(words[1]);
    if (!value) return Error(name + " takes a whole number, got " + Quoted(words[1]));
    if (*value < directive.min || *value > directive.max) {
      return Error(name + " must be " + std::to_string(directive.min) + " to " +
                   std::to_string(directive.max) + ", got " + std::string(words[1]));
    }
    const auto number = static_cast<int32_t>(*value);
    if (ofPattern) {
      BeatPattern& pattern = beat_.patterns.back();
      (d == kTempo ? pattern.tempo : d == kSteps ? pattern.steps : pattern.swing) = number;
    } else {
      (d == kTempo ? beat_.tempo : d == kSteps ? beat_.steps : d == kSwing ? beat_.swing
                                                                           : beat_.repeat) = number;
    }
    return std::nullopt;
  }

  std::optional<BeatError> ReadDrumLine(const std::vector<std::string_view>& words) {
    const std::optional<DrumKind> kind = FindDrumKind(words[0]);
    if (!kind) return Error("unknown drum " + Quoted(words[0]) + " (" + KindChoices() + ")");
    BeatLine line;
    line.lineNumber = number_;
    line.kind = *kind;
    line.ring = Info(*kind).ringSeconds;
    bool pitchSeen = false, ringSeen = false, levelSeen = false;
    size_t w = 1;
    for (; w < words.size() && words[w].find('=') != std::string_view::npos; ++w) {
      const std::string_view word = words[w];
      const size_t eq = word.find('=');
      const std::string_view key = word.substr(0, eq);
      const std::string_view value = word.substr(eq + 1);
      bool* seen = key == "pitch"   ? &pitchSeen
                   : key == "ring"  ? &ringSeen
                   : key == "level" ? &levelSeen
                                    : nullptr;
      if (seen == nullptr) {
        return Error("unknown setting " + Quoted(key) + " (pitch, ring, level)");
      }
      if (*seen) return Error(std::string(key) + " given twice");
      *seen = true;
      if (key == "pitch") {
        const std::optional<NoteName> pitch = ReadPitch(value);
        if (!pitch) {
          return Error("pitch takes a note A to G with an optional # or b, got " + Quoted(value));
        }
        line.pitch = *pitch;
      } else {
        const bool ring = key == "ring";
        const float lo = ring ? 0.001f : 0.0f;
        const float hi = ring ? 60.0f : 4.0f;
        const std::optional<float> number = DecimalFloat(value);
        if (!number || !(*number >= lo && *number <= hi)) {
          return Error(std::string(key) +
                       (ring ? " must be 0.001 to 60 seconds, got " : " must be 0 to 4, got ") +
                       Quoted(value));
        }
        (ring ? line.ring : line.level) = *number;
      }
    }
    line.frequency = NoteFrequency(line.pitch);

    for (; w < words.size(); ++w) {
      if (words[w].find('=') != std::string_view::npos) {
        return Error("settings come before the grid: " + Quoted(words[w]));
      }
      for (char c : words[w]) {
        if (c == '|') continue;
        const std::optional<Step> step = ReadStep(c);
        if (!step) {
          return Error("unexpected " + Quoted(std::string(1, c)) +
                       " in the grid (x o X O g - . | and blanks)");
        }
        line.steps.push_back(*step);
      }
    }
    if (line.steps.empty()) return Error(std::string(words[0]) + " has no steps");
    BeatPattern& pattern = beat_.patterns.back();
    if (!pattern.lines.empty() && line.steps.size() != pattern.lines[0].steps.size()) {
      const std::string which =
          song_ ? "the first drum line of " + Quoted(pattern.name) : "the first drum line";
      return Error(std::to_string(line.steps.size()) + " steps, but line " +
                   std::to_string(pattern.lines[0].lineNumber) + " (" + which + ") has " +
                   std::to_string(pattern.lines[0].steps.size()));
    }
    pattern.lines.push_back(std::move(line));
    return std::nullopt;
  }

  Beat& beat_;
  const bool song_;
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

std::optional<Step> ReadStep(char symbol) {
  switch (symbol) {
    case '-':
    case '.':
      return Step::kRest;
    case 'x':
    case 'o':
      return Step::kHit;
    case 'X':
    case 'O':
      return Step::kAccent;
    case 'g':
      return Step::kGhost;
    default:
      return std::nullopt;
  }
}

float StepLevel(Step step) {
  switch (step) {
    case Step::kHit:
      return 0.7f;
    case Step::kAccent:
      return 1.0f;
    case Step::kGhost:
      return 0.35f;
    case Step::kRest:
      break;
  }
  return 0.0f;
}

std::optional<BeatError> ReadBeat(std::string_view text, Beat& beat) {
  beat = Beat{};
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  Reader reader(beat, HasPatternLine(text));
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
