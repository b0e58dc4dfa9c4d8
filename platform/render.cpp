// The calls that render into the caller's memory and the file call that takes such samples: the
// same readers, mixer and writer as the file-writing calls, with the caller's buffers at the ends.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <string>
#include <system_error>

#include "beat/beat_call.h"
#include "compose/compose.h"
#include "midi/midi_track.h"
#include "platform/boundary.h"
#include "platform/kettorin.h"
#include "track/drum_kinds.h"
#include "track/track_output.h"

namespace kettorin {

namespace {

// The longest render a call gives: what one WAV file can hold, so anything rendered can be
// written.
constexpr int64_t kMaxRenderSamples = MaxSamples(WavFormat::kPcm16);

constexpr uint32_t kKnownFlags = KETTORIN_LOOP | KETTORIN_NO_NORMALIZE;

Failure NullArgument(const char* what) {
  return {kStatusNullArgument, std::string("The ") + what + " must not be null."};
}

// A caller's beat options as the beat call reads them, or why they cannot be used. Zero keeps
// the beat's own tempo and repeat.
std::optional<Failure> ReadBeatOptions(const KettorinBeatOptions* given, BeatOptions& options,
                                       HeadroomOptions& headroom) {
  const KettorinBeatOptions defaults{44100, 0, 0, 0, 0.0};
  const KettorinBeatOptions& o = given != nullptr ? *given : defaults;
  options.sampleRate = o.sampleRate;
  if (o.tempo != 0) options.tempo = o.tempo;
  if (o.repeat != 0) options.repeat = o.repeat;
  return ReadHeadroom(o.flags, o.gainDb, headroom, options.loop);
}

}  // namespace

void CopyMessage(std::string_view text, char* message, int32_t messageSize) {
  if (message == nullptr || messageSize <= 0) return;
  size_t n = std::min(text.size(), static_cast<size_t>(messageSize) - 1);
  // Never end inside a character: back off over continuation bytes to its lead byte.
  if (n < text.size()) {
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
  }
  std::copy_n(text.data(), n, message);
  message[n] = '\0';
}

std::optional<Failure> DeliverTrack(const Track& track, const HeadroomOptions& headroom,
                                    const SampleSink& sink, KettorinLevels* levels) {
  return Deliver(track.length, sink, [&](std::span<float> out) {
    const Levels done = RenderTrack(track, headroom, out, {track.sampleRate});
    if (levels != nullptr)
      *levels = {done.gain.value_or(1.0f), done.peak, done.normalize.value_or(1.0f)};
  });
}

std::optional<Failure> ReadHeadroom(uint32_t flags, double gainDb, HeadroomOptions& headroom,
                                    bool& loop) {
  if ((flags & ~kKnownFlags) != 0) {
    char text[64];
    std::snprintf(text, sizeof text, "Unknown option flags: 0x%X.", flags & ~kKnownFlags);
    return Failure{kStatusBadInput, text};
  }
  if (!(std::fabs(gainDb) <= kMaxGainDb)) {  // NaN fails too
    char text[96];
    std::snprintf(text, sizeof text, "The gain must be from -120 to 120 dB. Got: %g", gainDb);
    return Failure{kStatusBadInput, text};
  }
  // 0 dB multiplies by exactly 1, so it is no gain at all.
  headroom.gainDb = gainDb != 0.0 ? std::optional<double>(gainDb) : std::nullopt;
  headroom.normalize = (flags & KETTORIN_NO_NORMALIZE) == 0;
  loop = (flags & KETTORIN_LOOP) != 0;
  return std::nullopt;
}

}  // namespace kettorin

using kettorin::Failure;
using kettorin::SampleSink;

extern "C" KETTORIN_API int32_t KETTORIN_CALL KettorinRender(
    const KettorinChar* drumName, const KettorinChar* notes, int32_t sampleRate, int32_t tempo,
    float* samples, int64_t capacity, int64_t* sampleCount, char* message, int32_t messageSize) {
  return kettorin::RenderGuarded(message, messageSize, [&]() -> std::optional<Failure> {
    if (drumName == nullptr) return kettorin::NullArgument("drum name");
    if (notes == nullptr) return kettorin::NullArgument("note string");
    // The strings narrowed as KettorinCompose narrows them, so both play the same notes.
    const std::string drum = kettorin::Narrow(drumName);
    const std::string text = kettorin::Narrow(notes);
    const kettorin::ComposeRequest request{drum, text, sampleRate, tempo};
    kettorin::Composition plan;
    if (auto failure = kettorin::PlanComposition(request, kettorin::kMaxRenderSamples, plan)) {
      return failure;
    }
    return kettorin::Deliver(
        plan.samples, {samples, capacity, sampleCount},
        [&](std::span<float> out) { kettorin::RenderComposition(plan, text, {sampleRate}, out); });
  });
}

extern "C" KETTORIN_API int32_t KETTORIN_CALL KettorinRenderBeat(
    const KettorinChar* beatText, const KettorinBeatOptions* options, KettorinLevels* levels,
    float* samples, int64_t capacity, int64_t* sampleCount, char* message, int32_t messageSize) {
  return kettorin::RenderGuarded(message, messageSize, [&]() -> std::optional<Failure> {
    if (beatText == nullptr) return kettorin::NullArgument("beat text");
    kettorin::BeatOptions beatOptions;
    kettorin::HeadroomOptions headroom;
    const std::optional<Failure> badOptions =
        kettorin::ReadBeatOptions(options, beatOptions, headroom);
    // The beat call's checks (the rate, the text, tempo and repeat), then the headroom's.
    kettorin::Beat beat;
    kettorin::Track track;
    std::optional<kettorin::BeatError> readError;
    if (auto failure = kettorin::PlanBeat(kettorin::Utf8(beatText), beatOptions,
                                          kettorin::kMaxRenderSamples, beat, track, readError)) {
      return failure;
    }
    if (badOptions) return badOptions;
    return kettorin::DeliverTrack(track, headroom, {samples, capacity, sampleCount}, levels);
  });
}

extern "C" KETTORIN_API int32_t KETTORIN_CALL KettorinRenderMidi(
    const uint8_t* data, int32_t size, int32_t sampleRate, uint32_t flags, double gainDb,
    KettorinLevels* levels, float* samples, int64_t capacity, int64_t* sampleCount, char* message,
    int32_t messageSize) {
  return kettorin::RenderGuarded(message, messageSize, [&]() -> std::optional<Failure> {
    if (data == nullptr) return kettorin::NullArgument("MIDI data");
    if (size < 0) {
      return Failure{kettorin::kStatusBadInput,
                     "The MIDI data's size must not be negative. Got: " + std::to_string(size)};
    }
    kettorin::HeadroomOptions headroom;
    bool loop = false;
    if (auto failure = kettorin::ReadHeadroom(flags, gainDb, headroom, loop)) return failure;
    // A MIDI file ends where its tracks end: there is no loop to close.
    if (loop) return Failure{kettorin::kStatusBadInput, "A MIDI file cannot be rendered as a loop."};
    kettorin::MidiOptions options;
    options.sampleRate = sampleRate;
    kettorin::MidiPlan plan;
    if (auto failure = kettorin::PlanMidi({data, static_cast<size_t>(size)}, options,
                                          kettorin::kMaxRenderSamples, plan)) {
      return failure;
    }
    return kettorin::DeliverTrack(plan.track, headroom, {samples, capacity, sampleCount}, levels);
  });
}

extern "C" KETTORIN_API int32_t KETTORIN_CALL KettorinWriteWav(const KettorinChar* outputPath,
                                                               const float* samples, int64_t count,
                                                               int32_t sampleRate, char* message,
                                                               int32_t messageSize) {
  return kettorin::RenderGuarded(message, messageSize, [&]() -> std::optional<Failure> {
    if (outputPath == nullptr) return kettorin::NullArgument("output path");
    if (samples == nullptr && count > 0) return kettorin::NullArgument("sample buffer");
    if (sampleRate < 1) {
      return Failure{kettorin::kStatusBadSampleRate,
                     "Sample rate must be at least 1. Got: " + std::to_string(sampleRate)};
    }
    if (count < 0 || count > kettorin::kMaxRenderSamples) {
      return Failure{kettorin::kStatusNoStorage, "The sample count must be from 0 to " +
                                                     std::to_string(kettorin::kMaxRenderSamples) +
                                                     ". Got: " + std::to_string(count)};
    }
    const kettorin::OutputPath path = kettorin::MakeOutputPath(outputPath);
    const std::span<const float> all(samples, static_cast<size_t>(count));
    errno = 0;
    if (kettorin::WriteWavFile(path, sampleRate, all, kettorin::WavFormat::kPcm16,
                               kettorin::SerializeWav, nullptr)) {
      return std::nullopt;
    }
    std::string why = "Could not write file '" + path.display + "'";
    if (errno != 0) why += ": " + std::generic_category().message(errno);
    return Failure{kettorin::kStatusNotWritten, why + "."};
  });
}

extern "C" KETTORIN_API int32_t KETTORIN_CALL KettorinDrumKinds(KettorinDrumKind* kinds,
                                                                int32_t capacity, int32_t* count) {
  constexpr auto kCount = static_cast<int32_t>(kettorin::kDrumKindCount);
  if (count != nullptr) *count = kCount;
  if (kinds == nullptr) return kettorin::kStatusDone;
  if (capacity < kCount) return kettorin::kStatusBufferTooSmall;
  // The table's names are whole string literals, so each view ends at a NUL.
  for (const kettorin::DrumKindInfo& info : kettorin::kDrumKinds) {
    *kinds++ = {info.keys[0].data(), info.keys[1].data(), info.displayName.data(),
                info.sound.data()};
  }
  return kettorin::kStatusDone;
}
