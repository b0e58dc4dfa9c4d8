// The beat reader: directives, drum lines with their settings, and step grids.
#include <charconv>
#include <cstdlib>
#include <string>

#include "beat/beat.h"
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

struct Directive {
  std::string_view name;
  int32_t Beat::*field;
  int32_t min, max;
};

constexpr Directive kDirectives[] = {
    {"tempo", &Beat::tempo, kMinTempo, kMaxTempo},
    {"steps", &Beat::steps, kMinSteps, kMaxSteps},
    {"swing", &Beat::swing, kMinSwing, kMaxSwing},
    {"repeat", &Beat::repeat, kMinRepeat, kMaxRepeat},
};

std::string KindChoices() {
  std::string list;
  for (const DrumKindInfo& info : kDrumKinds) {
    list += (list.empty() ? "" : ", ") + std::string(ShortName(info.kind));
  }
  return list;
}

class Reader {
 public:
  explicit Reader(Beat& beat) : beat_(beat) {}

  std::optional<BeatError> Line(int32_t number, std::string_view line) {
    number_ = number;
    const std::vector<std::string_view> words = Words(Content(line));
    if (words.empty()) return std::nullopt;
    for (const Directive& directive : kDirectives) {
      if (words[0] == directive.name) return ReadDirective(directive, words);
    }
    return ReadDrumLine(words);
  }

  std::optional<BeatError> Finish() const {
    if (beat_.lines.empty())
      return BeatError{
          0, "no drum lines: a line names a drum and gives its steps, such as 'kick x---x---'"};
    return std::nullopt;
  }

 private:
  BeatError Error(std::string message) const { return {number_, std::move(message)}; }

  std::optional<BeatError> ReadDirective(const Directive& directive,
                                         const std::vector<std::string_view>& words) {
    const std::string name(directive.name);
    int32_t& seenOn = seen_[&directive - kDirectives];
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
    beat_.*directive.field = static_cast<int32_t>(*value);
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
    if (!beat_.lines.empty() && line.steps.size() != beat_.lines[0].steps.size()) {
      return Error(std::to_string(line.steps.size()) + " steps, but line " +
                   std::to_string(beat_.lines[0].lineNumber) + " (the first drum line) has " +
                   std::to_string(beat_.lines[0].steps.size()));
    }
    beat_.lines.push_back(std::move(line));
    return std::nullopt;
  }

  Beat& beat_;
  int32_t number_ = 0;
  int32_t seen_[std::size(kDirectives)] = {};
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
  Reader reader(beat);
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
