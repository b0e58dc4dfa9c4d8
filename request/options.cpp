// Options by name: the one table the C calls, Python and the page set options through.
#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string>

#include "request/request.h"
#include "wav/flac_writer.h"

namespace kettorin {

namespace {

constexpr std::array<OptionInfo, 19> kOptions{{
    {"rate", "HZ", "samples per second, at least 1 (default 44100)"},
    {"tempo", "BPM",
     "beats per minute, 1 to 999: a note string's (default 120), or instead of a "
     "beat's own; 0 keeps the beat's"},
    {"repeat", "N", "times a beat's order is played, 1 to 10000, instead of its own; 0 keeps it"},
    {"loop", "BOOL", "let a beat's last hits ring over into the start: a seamless loop"},
    {"gain", "DB", "decibels, -120 to 120, added to the mix before its peak is measured"},
    {"normalize", "BOOL", "lower the mix to full scale when its peak passes it (default 1)"},
    {"channel", "N", "the MIDI channel of the drums, 1 to 16 (default 10)"},
    {"drum", "NAME", "the drum a note string plays, matched as a prefix; others play the kick"},
    {"map", "KEY=DRUM",
     "play MIDI key 0 to 127 (a MIDI file's, or a beat line's number) with a drum; each one adds "
     "a mapping, \"\" clears"},
    {"seed", "N", "a beat's seed for ? cells and the human feel, 0 to 4294967295, instead of its own"},
    {"humanize", "MS,PERCENT",
     "a beat's hits move by up to +-MS ms and their levels by +-PERCENT %, 0 to 100 each, instead "
     "of its own"},
    {"choke", "BOOL", "a closed hi-hat stops an open one ringing (default 1; a beat's own without)"},
    {"channels", "1|2",
     "mono or stereo instead of the input's own (a beat's text may say stereo; MIDI is mono)"},
    {"pan", "DRUM=P",
     "place a drum at -1 (left) to 1 (right) in a stereo beat or MIDI file, for lines without "
     "pan=; each one adds a pan and asks for stereo, \"\" clears"},
    {"float", "BOOL", "store 32-bit float samples instead of 16-bit PCM"},
    {"bits", "16|24", "store 16-bit (the default) or 24-bit PCM samples"},
    {"format", "wav|flac", "the file's format: WAV (the default) or FLAC, where built with libsndfile"},
    {"stems", "BOOL", "also write one file per drum line or drum kind, beside the output"},
    {"quiet", "BOOL", "print no report"},
}};

Failure BadValue(std::string_view name, std::string_view takes, std::string_view value) {
  return {kStatusBadInput, "The option '" + std::string(name) + "' takes " + std::string(takes) +
                               ". Got: '" + std::string(value) + "'"};
}

std::optional<int32_t> WholeNumber(std::string_view text) {
  int32_t value = 0;
  const auto [end, problem] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || problem != std::errc() || end != text.data() + text.size()) {
    return std::nullopt;
  }
  return value;
}

std::optional<double> Number(std::string_view text) {
  const std::string copy(text);
  char* end = nullptr;
  const double value = std::strtod(copy.c_str(), &end);
  if (copy.empty() || end != copy.c_str() + copy.size()) return std::nullopt;
  return value;
}

std::optional<bool> Truth(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  if (lower == "1" || lower == "true" || lower == "yes" || lower == "on") return true;
  if (lower == "0" || lower == "false" || lower == "no" || lower == "off") return false;
  return std::nullopt;
}

}  // namespace

std::span<const OptionInfo> Options() {
  return kOptions;
}

std::optional<Failure> SetOption(RenderOptions& options, std::string_view name,
                                 std::string_view value) {
  constexpr std::string_view kWhole = "a whole number";
  constexpr std::string_view kTruth = "1 or 0 (true or false, yes or no, on or off)";
  auto whole = [&](int32_t& field) -> std::optional<Failure> {
    const std::optional<int32_t> n = WholeNumber(value);
    if (!n) return BadValue(name, kWhole, value);
    field = *n;
    return std::nullopt;
  };
  auto wholeOrOwn = [&](std::optional<int32_t>& field) -> std::optional<Failure> {
    const std::optional<int32_t> n = WholeNumber(value);
    if (!n) return BadValue(name, kWhole, value);
    field = n;
    return std::nullopt;
  };
  auto truth = [&](bool& field) -> std::optional<Failure> {
    const std::optional<bool> b = Truth(value);
    if (!b) return BadValue(name, kTruth, value);
    field = *b;
    return std::nullopt;
  };
  if (name == "rate") return whole(options.sampleRate);
  if (name == "tempo") return wholeOrOwn(options.tempo);
  if (name == "repeat") return wholeOrOwn(options.repeat);
  if (name == "loop") return truth(options.loop);
  if (name == "normalize") return truth(options.normalize);
  if (name == "stems") return truth(options.stems);
  if (name == "quiet") return truth(options.quiet);
  if (name == "channel") return whole(options.channel);
  if (name == "drum") {
    options.drum = value;
    return std::nullopt;
  }
  if (name == "gain") {
    const std::optional<double> db = Number(value);
    if (!db) return BadValue(name, "a number of decibels", value);
    if (auto failure = CheckGain(*db)) return failure;
    options.gainDb = db;
    return std::nullopt;
  }
  if (name == "float") {
    bool isFloat = false;
    if (auto failure = truth(isFloat)) return failure;
    if (isFloat) {
      options.format = WavFormat::kFloat32;
    } else if (options.format == WavFormat::kFloat32) {
      options.format = WavFormat::kPcm16;
    }
    return std::nullopt;
  }
  if (name == "format") {
    if (value != "wav" && value != "flac") return BadValue(name, "wav or flac", value);
    if (value == "flac" && !FlacAvailable()) {
      return Failure{kStatusBadInput,
                     "FLAC files need libsndfile, which this build of the library was made without."};
    }
    options.flac = value == "flac";
    return std::nullopt;
  }
  if (name == "bits") {
    if (value != "16" && value != "24") return BadValue(name, "16 or 24", value);
    options.format = value == "24" ? WavFormat::kPcm24 : WavFormat::kPcm16;
    return std::nullopt;
  }
  if (name == "seed") {
    uint32_t seed = 0;
    const auto [end, problem] = std::from_chars(value.data(), value.data() + value.size(), seed);
    if (value.empty() || problem != std::errc() || end != value.data() + value.size()) {
      return BadValue(name, "a whole number 0 to 4294967295", value);
    }
    options.seed = seed;
    return std::nullopt;
  }
  if (name == "humanize") {
    const size_t comma = value.find(',');
    const std::optional<int32_t> ms = WholeNumber(value.substr(0, comma));
    const std::optional<int32_t> percent =
        comma == std::string_view::npos ? std::nullopt : WholeNumber(value.substr(comma + 1));
    if (!ms || !percent || *ms < 0 || *ms > 100 || *percent < 0 || *percent > 100) {
      return BadValue(name, "MS,PERCENT, two whole numbers 0 to 100", value);
    }
    options.humanize = std::pair{*ms, *percent};
    return std::nullopt;
  }
  if (name == "choke") {
    bool choke = true;
    if (auto failure = truth(choke)) return failure;
    options.choke = choke;
    return std::nullopt;
  }
  if (name == "channels") {
    if (value != "1" && value != "2") return BadValue(name, "1 or 2", value);
    options.channels = value == "2" ? 2 : 1;
    return std::nullopt;
  }
  if (name == "pan") {
    if (value.empty()) {
      options.pans = {};
      return std::nullopt;
    }
    if (const std::optional<std::string> problem = AddPanSetting(value, options.pans)) {
      return Failure{kStatusBadInput, "The option 'pan': " + *problem + "."};
    }
    return std::nullopt;
  }
  if (name == "map") {
    if (value.empty()) {
      options.keyMap.clear();
      return std::nullopt;
    }
    if (const std::optional<std::string> problem = AddKeyMapping(value, options.keyMap)) {
      return Failure{kStatusBadInput, "The option 'map': " + *problem + "."};
    }
    return std::nullopt;
  }
  std::string names;
  for (const OptionInfo& option : kOptions) {
    names += (names.empty() ? "" : ", ") + std::string(option.name);
  }
  return Failure{kStatusBadInput, "Unknown option '" + std::string(name) + "' (" + names + ")."};
}

}  // namespace kettorin
