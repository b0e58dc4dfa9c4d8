// The road's plan and rendering: each source read by its reader, the options checked, the mix and
// the stems rendered on demand.
#include "request/request.h"

#include <algorithm>
#include <string>

#include "beat/beat_call.h"
#include "track/track_output.h"

namespace kettorin {

namespace {

Failure DoesNotApply(std::string_view option, std::string_view source) {
  return {kStatusBadInput, "The option '" + std::string(option) + "' does not apply to " +
                               std::string(source) + "."};
}

bool HasPans(const RenderOptions& o) {
  return std::any_of(o.pans.begin(), o.pans.end(),
                     [](const std::optional<float>& pan) { return pan.has_value(); });
}

// Options that change nothing for a source are refused rather than silently ignored.
std::optional<Failure> CheckApplicable(const Request& request) {
  const RenderOptions& o = request.options;
  switch (request.source) {
    case Source::kNotes: {
      constexpr std::string_view kNotes = "a note string";
      if (o.repeat) return DoesNotApply("repeat", kNotes);
      if (o.loop) return DoesNotApply("loop", kNotes);
      if (o.gainDb) return DoesNotApply("gain", kNotes);
      if (!o.normalize) return DoesNotApply("normalize", kNotes);
      if (o.stems) return DoesNotApply("stems", kNotes);
      if (o.choke) return DoesNotApply("choke", kNotes);
      if (!o.keyMap.empty()) return DoesNotApply("map", kNotes);
      if (o.channels == 2) return DoesNotApply("channels", kNotes);
      if (HasPans(o)) return DoesNotApply("pan", kNotes);
      break;
    }
    case Source::kBeat:
      break;
    case Source::kMidi: {
      constexpr std::string_view kMidi = "a MIDI file";
      // A MIDI file ends where its tracks end: there is no loop to close.
      if (o.loop) return Failure{kStatusBadInput, "A MIDI file cannot be rendered as a loop."};
      if (o.tempo) return DoesNotApply("tempo", kMidi);
      if (o.repeat) return DoesNotApply("repeat", kMidi);
      if (o.seed) return DoesNotApply("seed", kMidi);
      if (o.humanize) return DoesNotApply("humanize", kMidi);
      return std::nullopt;
    }
  }
  if (o.channel != kDefaultMidiChannel) return DoesNotApply("channel", "a note string or a beat");
  if (request.source == Source::kNotes) {
    if (o.seed) return DoesNotApply("seed", "a note string");
    if (o.humanize) return DoesNotApply("humanize", "a note string");
  }
  return std::nullopt;
}

// The options' own checks: those that apply to the source, then the gain's range.
std::optional<Failure> CheckOptions(const Request& request) {
  if (auto failure = CheckApplicable(request)) return failure;
  if (request.options.flac && request.options.format == WavFormat::kFloat32) {
    return Failure{kStatusBadInput, "A FLAC file holds 16- or 24-bit samples, not float ones."};
  }
  if (request.options.gainDb) return CheckGain(*request.options.gainDb);
  return std::nullopt;
}

HeadroomOptions Headroom(const RenderOptions& options) {
  HeadroomOptions headroom;
  // 0 dB multiplies by exactly 1, so it is no gain at all.
  if (options.gainDb && *options.gainDb != 0.0) headroom.gainDb = options.gainDb;
  headroom.normalize = options.normalize;
  return headroom;
}

std::optional<Failure> PlanSource(const Request& request, Plan& plan) {
  const RenderOptions& o = request.options;
  const int64_t limit = MaxSamples(o.format);
  switch (request.source) {
    case Source::kNotes: {
      const ComposeRequest notes{o.drum, request.input, o.sampleRate,
                                 o.tempo.value_or(kDefaultNoteTempo)};
      if (auto failure = PlanComposition(notes, limit, plan.composition)) return failure;
      plan.length = plan.composition.samples;
      return std::nullopt;
    }
    case Source::kBeat: {
      BeatOptions beat;
      beat.sampleRate = o.sampleRate;
      beat.tempo = o.tempo;
      beat.repeat = o.repeat;
      beat.loop = o.loop;
      beat.seed = o.seed;
      beat.humanize = o.humanize;
      beat.choke = o.choke;
      beat.keys = o.keyMap;
      beat.channels = o.channels;
      beat.pans = o.pans;
      if (auto failure =
              PlanBeat(request.input, beat, limit, plan.beat, plan.track, plan.layout,
                       plan.readError)) {
        return failure;
      }
      break;
    }
    case Source::kMidi: {
      MidiOptions midi;
      midi.sampleRate = o.sampleRate;
      midi.channel = o.channel;
      midi.map = o.keyMap;
      midi.choke = o.choke.value_or(true);
      // A pan asks for stereo, as a beat line's pan= does, unless mono is asked for.
      midi.channels = o.channels.value_or(HasPans(o) ? 2 : 1);
      midi.pans = o.pans;
      const std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(request.input.data()),
                                           request.input.size());
      if (auto failure = PlanMidi(bytes, midi, limit, plan.midi)) return failure;
      plan.track = std::move(plan.midi.track);
      plan.midi.track = Track{};
      break;
    }
  }
  plan.length = plan.track.length;
  plan.channels = plan.track.channels;
  return std::nullopt;
}

}  // namespace

std::optional<Failure> PlanRequest(const Request& request, Plan& plan) {
  plan = Plan{};
  plan.source = request.source;
  plan.options = request.options;
  plan.input = request.input;
  plan.sourceName = request.sourceName;
  plan.sampleRate = request.options.sampleRate;
  // A MIDI file's options are checked before it is read, as they always were; the others after
  // their source.
  const bool optionsFirst = request.source == Source::kMidi;
  if (optionsFirst) {
    if (auto failure = CheckOptions(request)) return failure;
  }
  if (auto failure = PlanSource(request, plan)) return failure;
  if (!optionsFirst) {
    if (auto failure = CheckOptions(request)) return failure;
  }
  return CheckFileRate(request.options.sampleRate, request.options.format, plan.channels);
}

std::optional<Failure> CheckFileRate(int32_t sampleRate, WavFormat format, int32_t channels) {
  const int64_t most = MaxSampleRate(format, channels);
  if (sampleRate <= most) return std::nullopt;
  const std::string what = std::string(channels == 2 ? "A stereo " : "A ") +
                           (format == WavFormat::kFloat32 ? "float"
                            : format == WavFormat::kPcm24 ? "24-bit"
                                                          : "16-bit");
  return Failure{kStatusBadSampleRate, what + " WAV file's sample rate must be at most " +
                                           std::to_string(most) +
                                           " Hz. Got: " + std::to_string(sampleRate)};
}

Levels RenderMix(const Plan& plan, std::span<float> out) {
  const VoiceContext context{plan.sampleRate};
  if (plan.source == Source::kNotes) {
    RenderComposition(plan.composition, plan.input, context, out);
    return {};
  }
  return RenderTrack(plan.track, Headroom(plan.options), out, context);
}

int32_t StemCount(const Plan& plan) {
  return plan.source == Source::kNotes ? 0 : static_cast<int32_t>(plan.track.stemKinds.size());
}

DrumKind StemKind(const Plan& plan, int32_t stem) {
  return plan.track.stemKinds[static_cast<size_t>(stem)];
}

bool StemIsHiHat(const Plan& plan, int32_t stem) {
  const std::vector<bool>& hihat = plan.track.hihatStems;
  return static_cast<size_t>(stem) < hihat.size() && hihat[static_cast<size_t>(stem)];
}

std::string StemName(const Plan& plan, int32_t stem) {
  const auto key = [&](int32_t s) {
    return StemIsHiHat(plan, s) ? std::string_view("hihat") : Info(StemKind(plan, s)).keys[0];
  };
  int32_t ordinal = 1;  // which stem of its name
  for (int32_t s = 0; s < stem; ++s) ordinal += key(s) == key(stem);
  std::string name(key(stem));
  if (ordinal > 1) name.append(1, '.').append(std::to_string(ordinal));
  return name;
}

void RenderStem(const Plan& plan, int32_t stem, const Levels& mixLevels, std::span<float> out) {
  std::fill(out.begin(), out.end(), 0.0f);
  MixTrack(plan.track, {plan.sampleRate}, out, stem);
  ApplyLevels(out, mixLevels);
}

}  // namespace kettorin
