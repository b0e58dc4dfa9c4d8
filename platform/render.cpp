// The calls that render into the caller's memory, the options object, and the calls that take it:
// each builds a request for the one road and hands its result to the caller's buffers or files.
#include <algorithm>
#include <cstdio>
#include <string>
#include <system_error>

#include "platform/boundary.h"
#include "platform/kettorin.h"
#include "request/request.h"
#include "track/drum_kinds.h"
#include "track/sample_storage.h"

// The options object is the road's options, unchanged.
struct KettorinOptions {
  kettorin::RenderOptions options;
};

namespace kettorin {

namespace {

// The status codes are the header's: a C caller, Python and the core read the same numbers.
static_assert(kStatusDone == KETTORIN_DONE && kStatusNullArgument == KETTORIN_NULL_ARGUMENT &&
              kStatusBadSampleRate == KETTORIN_BAD_SAMPLE_RATE &&
              kStatusBadTempo == KETTORIN_BAD_TEMPO && kStatusNoStorage == KETTORIN_NO_STORAGE &&
              kStatusNotWritten == KETTORIN_NOT_WRITTEN && kStatusBadInput == KETTORIN_BAD_INPUT &&
              kStatusBufferTooSmall == KETTORIN_BUFFER_TOO_SMALL);

// The longest render a call gives: what one WAV file can hold, so anything rendered can be
// written.
constexpr int64_t kMaxRenderSamples = MaxSamples(WavFormat::kPcm16);

constexpr uint32_t kKnownFlags = KETTORIN_LOOP | KETTORIN_NO_NORMALIZE;

Failure NullArgument(const char* what) {
  return {kStatusNullArgument, std::string("The ") + what + " must not be null."};
}

std::optional<Failure> UnknownFlags(uint32_t flags) {
  if ((flags & ~kKnownFlags) == 0) return std::nullopt;
  char text[64];
  std::snprintf(text, sizeof text, "Unknown option flags: 0x%X.", flags & ~kKnownFlags);
  return Failure{kStatusBadInput, text};
}

// The flags and gain of the calls that take them as arguments, as road options.
void ApplyFlags(uint32_t flags, double gainDb, RenderOptions& options) {
  options.loop = (flags & KETTORIN_LOOP) != 0;
  options.normalize = (flags & KETTORIN_NO_NORMALIZE) == 0;
  options.gainDb = gainDb;
}

KettorinLevels ToC(const Levels& levels) {
  return {levels.gain.value_or(1.0f), levels.peak, levels.normalize.value_or(1.0f)};
}

Levels FromC(const KettorinLevels& levels) {
  Levels back;
  if (levels.gain != 1.0f) back.gain = levels.gain;
  back.peak = levels.peak;
  if (levels.normalize != 1.0f) back.normalize = levels.normalize;
  return back;
}

// The plan's mix (or one stem) into the caller's buffer.
std::optional<Failure> DeliverPlan(const Plan& plan, int32_t stem, KettorinLevels* levels,
                                   const SampleSink& sink) {
  if (stem != KETTORIN_MIX && (stem < 0 || stem >= StemCount(plan))) {
    return Failure{kStatusBadInput, "There is no stem " + std::to_string(stem) +
                                        ": the input has " + std::to_string(StemCount(plan)) + "."};
  }
  // A stereo plan's frames are a left and a right sample each, interleaved.
  return Deliver(plan.length * plan.channels, sink, [&](std::span<float> out) {
    if (stem == KETTORIN_MIX) {
      const Levels done = RenderMix(plan, out);
      if (levels != nullptr) *levels = ToC(done);
      return;
    }
    Levels mix;
    if (levels != nullptr) {
      mix = FromC(*levels);
    } else {
      // The mix's factors, found by rendering it into the caller's buffer first.
      mix = RenderMix(plan, out);
    }
    RenderStem(plan, stem, mix, out);
  });
}

std::optional<Failure> PlanInMemory(const Request& request, Plan& plan) {
  Request capped = request;
  // Memory holds what a 16-bit file could: a float format asks no more of the buffer.
  capped.options.format = WavFormat::kPcm16;
  return PlanRequest(capped, plan);
}

// A With call's input as a request; the strings it views are kept in `text`.
std::optional<Failure> ReadInput(int32_t source, const void* input, int64_t size,
                                 const KettorinOptions* options, std::string& text,
                                 Request& request) {
  if (source != KETTORIN_NOTES && source != KETTORIN_BEAT && source != KETTORIN_MIDI) {
    return Failure{kStatusBadInput, "Unknown source " + std::to_string(source) +
                                        ": KETTORIN_NOTES (1), KETTORIN_BEAT (2) or "
                                        "KETTORIN_MIDI (3)."};
  }
  if (input == nullptr) {
    return NullArgument(source == KETTORIN_MIDI ? "MIDI data" : "input text");
  }
  if (options != nullptr) request.options = options->options;
  if (source == KETTORIN_MIDI) {
    if (size < 0 || size > INT32_MAX) {
      return Failure{kStatusBadInput, "The MIDI data's size must be from 0 to 2147483647. Got: " +
                                          std::to_string(size)};
    }
    request.source = Source::kMidi;
    request.input = {static_cast<const char*>(input), static_cast<size_t>(size)};
    return std::nullopt;
  }
  if (size < -1) {
    return Failure{kStatusBadInput, "A text's size must be -1 (up to its NUL) or 0 or more. Got: " +
                                        std::to_string(size)};
  }
  const auto* chars = static_cast<const KettorinChar*>(input);
  const TextView view = size < 0 ? TextView(chars) : TextView(chars, static_cast<size_t>(size));
  // A note string is narrowed as KettorinCompose narrows it, a beat read as UTF-8.
  if (source == KETTORIN_NOTES) {
    request.source = Source::kNotes;
    text = Narrow(view);
  } else {
    request.source = Source::kBeat;
    text = Utf8(view);
    // A tempo or repeat of 0 keeps the beat's own, as the C options always have; a note string
    // has no tempo of its own, so there 0 is refused as any tempo out of range.
    if (request.options.tempo == 0) request.options.tempo.reset();
    if (request.options.repeat == 0) request.options.repeat.reset();
  }
  request.input = text;
  return std::nullopt;
}

// A With call's input read and planned for memory.
std::optional<Failure> PlanWith(int32_t source, const void* input, int64_t size,
                                const KettorinOptions* options, std::string& text, Plan& plan) {
  Request request;
  if (auto failure = ReadInput(source, input, size, options, text, request)) return failure;
  return PlanInMemory(request, plan);
}

std::optional<Failure> WriteSamples(const KettorinChar* outputPath, const float* samples,
                                    int64_t count, const RenderOptions& options) {
  if (outputPath == nullptr) return NullArgument("output path");
  if (samples == nullptr && count > 0) return NullArgument("sample buffer");
  if (auto failure = CheckSampleRate(options.sampleRate)) return failure;
  const int32_t channels = options.channels.value_or(1);
  // Whole frames only, and no more of them than a file can hold.
  const int64_t most = MaxSamples(options.format) / channels * channels;
  if (count < 0 || count > most || count % channels != 0) {
    return Failure{kStatusNoStorage,
                   "The sample count must be " +
                       std::string(channels == 2 ? "an even number " : "") + "from 0 to " +
                       std::to_string(most) + ". Got: " + std::to_string(count)};
  }
  if (auto failure = CheckFileRate(options.sampleRate, options.format, channels)) return failure;
  const OutputPath path = MakeOutputPath(outputPath);
  const std::span<const float> all(samples, static_cast<size_t>(count));
  WavInfo info;
  info.sampleRate = options.sampleRate;
  info.format = options.format;
  info.channels = channels;
  const std::optional<WriteError> error = WriteWavFile(path, info, all);
  if (!error) return std::nullopt;
  std::string why = "Could not write file '" + path.display + "'";
  if (error->systemError != 0) why += ": " + std::generic_category().message(error->systemError);
  return Failure{kStatusNotWritten, why + "."};
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

}  // namespace kettorin

using kettorin::Failure;
using kettorin::Plan;
using kettorin::Request;
using kettorin::Source;

extern "C" KETTORIN_API int32_t KETTORIN_CALL KettorinRender(
    const KettorinChar* drumName, const KettorinChar* notes, int32_t sampleRate, int32_t tempo,
    float* samples, int64_t capacity, int64_t* sampleCount, char* message, int32_t messageSize) {
  return kettorin::RenderGuarded(message, messageSize, [&]() -> std::optional<Failure> {
    if (drumName == nullptr) return kettorin::NullArgument("drum name");
    if (notes == nullptr) return kettorin::NullArgument("note string");
    // The strings narrowed as KettorinCompose narrows them, so both play the same notes.
    const std::string text = kettorin::Narrow(notes);
    Request request{Source::kNotes, text};
    request.options.drum = kettorin::Narrow(drumName);
    request.options.sampleRate = sampleRate;
    request.options.tempo = tempo;
    Plan plan;
    if (auto failure = kettorin::PlanInMemory(request, plan)) return failure;
    return kettorin::DeliverPlan(plan, KETTORIN_MIX, nullptr, {samples, capacity, sampleCount});
  });
}

extern "C" KETTORIN_API int32_t KETTORIN_CALL KettorinRenderBeat(
    const KettorinChar* beatText, const KettorinBeatOptions* options, KettorinLevels* levels,
    float* samples, int64_t capacity, int64_t* sampleCount, char* message, int32_t messageSize) {
  return kettorin::RenderGuarded(message, messageSize, [&]() -> std::optional<Failure> {
    if (beatText == nullptr) return kettorin::NullArgument("beat text");
    const KettorinBeatOptions defaults{44100, 0, 0, 0, 0.0};
    const KettorinBeatOptions& o = options != nullptr ? *options : defaults;
    const std::string text = kettorin::Utf8(beatText);
    Request request{Source::kBeat, text};
    request.options.sampleRate = o.sampleRate;
    if (o.tempo != 0) request.options.tempo = o.tempo;
    if (o.repeat != 0) request.options.repeat = o.repeat;
    request.options.channels = 1;  // this call's buffer is mono: a stereo text is mixed to one
    kettorin::ApplyFlags(o.flags, o.gainDb, request.options);
    // The beat's own checks (the rate, the text, tempo, repeat and length), then the flags and
    // the gain.
    const std::optional<Failure> badFlags = kettorin::UnknownFlags(o.flags);
    if (badFlags) request.options.gainDb.reset();
    Plan plan;
    if (auto failure = kettorin::PlanInMemory(request, plan)) return failure;
    if (badFlags) return badFlags;
    return kettorin::DeliverPlan(plan, KETTORIN_MIX, levels, {samples, capacity, sampleCount});
  });
}

extern "C" KETTORIN_API int32_t KETTORIN_CALL
KettorinRenderMidi(const uint8_t* data, int32_t size, int32_t sampleRate, uint32_t flags,
                   double gainDb, KettorinLevels* levels, float* samples, int64_t capacity,
                   int64_t* sampleCount, char* message, int32_t messageSize) {
  return kettorin::RenderGuarded(message, messageSize, [&]() -> std::optional<Failure> {
    if (data == nullptr) return kettorin::NullArgument("MIDI data");
    if (size < 0) {
      return Failure{kettorin::kStatusBadInput,
                     "The MIDI data's size must not be negative. Got: " + std::to_string(size)};
    }
    if (auto failure = kettorin::UnknownFlags(flags)) return failure;
    Request request{Source::kMidi,
                    {reinterpret_cast<const char*>(data), static_cast<size_t>(size)}};
    request.options.sampleRate = sampleRate;
    kettorin::ApplyFlags(flags, gainDb, request.options);
    Plan plan;
    if (auto failure = kettorin::PlanInMemory(request, plan)) return failure;
    return kettorin::DeliverPlan(plan, KETTORIN_MIX, levels, {samples, capacity, sampleCount});
  });
}

extern "C" KETTORIN_API int32_t KETTORIN_CALL KettorinWriteWav(const KettorinChar* outputPath,
                                                               const float* samples, int64_t count,
                                                               int32_t sampleRate, char* message,
                                                               int32_t messageSize) {
  return kettorin::RenderGuarded(message, messageSize, [&]() -> std::optional<Failure> {
    kettorin::RenderOptions options;
    options.sampleRate = sampleRate;
    return kettorin::WriteSamples(outputPath, samples, count, options);
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

// ---- The options object and the calls that take it -------------------------------------------

extern "C" KETTORIN_API KettorinOptions* KETTORIN_CALL KettorinOptionsCreate(void) {
  try {
    return new KettorinOptions;
  } catch (...) {
    return nullptr;
  }
}

extern "C" KETTORIN_API void KETTORIN_CALL KettorinOptionsDestroy(KettorinOptions* options) {
  delete options;
}

extern "C" KETTORIN_API int32_t KETTORIN_CALL KettorinOptionsSet(KettorinOptions* options,
                                                                 const char* name,
                                                                 const char* value, char* message,
                                                                 int32_t messageSize) {
  return kettorin::RenderGuarded(message, messageSize, [&]() -> std::optional<Failure> {
    if (options == nullptr) return kettorin::NullArgument("options");
    if (name == nullptr) return kettorin::NullArgument("option name");
    if (value == nullptr) return kettorin::NullArgument("option value");
    // Set on a copy, so that a refused value leaves the option as it was.
    kettorin::RenderOptions changed = options->options;
    if (auto failure = kettorin::SetOption(changed, name, value)) return failure;
    options->options = std::move(changed);
    return std::nullopt;
  });
}

extern "C" KETTORIN_API int32_t KETTORIN_CALL
KettorinRenderWith(int32_t source, const void* input, int64_t size, const KettorinOptions* options,
                   int32_t stem, KettorinLevels* levels, float* samples, int64_t capacity,
                   int64_t* sampleCount, char* message, int32_t messageSize) {
  return kettorin::RenderGuarded(message, messageSize, [&]() -> std::optional<Failure> {
    std::string text;
    Plan plan;
    if (auto failure = kettorin::PlanWith(source, input, size, options, text, plan)) {
      return failure;
    }
    return kettorin::DeliverPlan(plan, stem, levels, {samples, capacity, sampleCount});
  });
}

extern "C" KETTORIN_API int32_t KETTORIN_CALL
KettorinChannelsWith(int32_t source, const void* input, int64_t size,
                     const KettorinOptions* options, int32_t* channels, char* message,
                     int32_t messageSize) {
  return kettorin::RenderGuarded(message, messageSize, [&]() -> std::optional<Failure> {
    std::string text;
    Plan plan;
    if (auto failure = kettorin::PlanWith(source, input, size, options, text, plan)) {
      return failure;
    }
    if (channels != nullptr) *channels = plan.channels;
    return std::nullopt;
  });
}

namespace kettorin {
namespace {

// Bytes into the caller's buffer, two-pass: the count always, the bytes when they fit.
std::optional<Failure> DeliverBytes(std::span<const uint8_t> bytes, uint8_t* out,
                                    int64_t capacity, int64_t* size) {
  if (size != nullptr) *size = static_cast<int64_t>(bytes.size());
  if (out == nullptr) return std::nullopt;
  if (capacity < static_cast<int64_t>(bytes.size())) {
    return Failure{kStatusBufferTooSmall,
                   "The buffer holds " + std::to_string(std::max<int64_t>(capacity, 0)) +
                       " bytes; the call needs " + std::to_string(bytes.size()) + "."};
  }
  std::copy(bytes.begin(), bytes.end(), out);
  return std::nullopt;
}

}  // namespace
}  // namespace kettorin

extern "C" KETTORIN_API int32_t KETTORIN_CALL
KettorinLabelsWith(int32_t source, const void* input, int64_t size, const KettorinOptions* options,
                   char* text, int64_t capacity, int64_t* textSize, char* message,
                   int32_t messageSize) {
  return kettorin::RenderGuarded(message, messageSize, [&]() -> std::optional<Failure> {
    std::string held;
    Plan plan;
    if (auto failure = kettorin::PlanWith(source, input, size, options, held, plan)) {
      return failure;
    }
    const std::string csv = kettorin::LabelsCsv(plan);
    return kettorin::DeliverBytes({reinterpret_cast<const uint8_t*>(csv.data()), csv.size()},
                                  reinterpret_cast<uint8_t*>(text), capacity, textSize);
  });
}

extern "C" KETTORIN_API int32_t KETTORIN_CALL
KettorinMidiWith(const KettorinChar* beatText, int64_t size, const KettorinOptions* options,
                 uint8_t* bytes, int64_t capacity, int64_t* byteCount, char* message,
                 int32_t messageSize) {
  return kettorin::RenderGuarded(message, messageSize, [&]() -> std::optional<Failure> {
    std::string held;
    Plan plan;
    if (auto failure = kettorin::PlanWith(KETTORIN_BEAT, beatText, size, options, held, plan)) {
      return failure;
    }
    std::vector<uint8_t> midi;
    if (auto failure = kettorin::BeatMidi(plan, midi)) return failure;
    return kettorin::DeliverBytes(midi, bytes, capacity, byteCount);
  });
}

extern "C" KETTORIN_API int32_t KETTORIN_CALL KettorinStemsWith(
    int32_t source, const void* input, int64_t size, const KettorinOptions* options, int32_t* kinds,
    int32_t capacity, int32_t* count, char* message, int32_t messageSize) {
  return kettorin::RenderGuarded(message, messageSize, [&]() -> std::optional<Failure> {
    std::string text;
    Plan plan;
    if (auto failure = kettorin::PlanWith(source, input, size, options, text, plan)) {
      return failure;
    }
    const int32_t stems = kettorin::StemCount(plan);
    if (count != nullptr) *count = stems;
    if (kinds == nullptr) return std::nullopt;
    if (capacity < stems) {
      return Failure{kettorin::kStatusBufferTooSmall,
                     "The buffer holds " + std::to_string(std::max(capacity, 0)) +
                         " kinds; the input has " + std::to_string(stems) + " stems."};
    }
    for (int32_t s = 0; s < stems; ++s) {
      kinds[s] = kettorin::StemIsHiHat(plan, s) ? KETTORIN_HIHAT_LANE
                                                : static_cast<int32_t>(kettorin::StemKind(plan, s));
    }
    return std::nullopt;
  });
}

extern "C" KETTORIN_API int32_t KETTORIN_CALL
KettorinComposeWith(int32_t source, const void* input, int64_t size, const KettorinOptions* options,
                    const KettorinChar* outputPath, char* message, int32_t messageSize) {
  return kettorin::RenderGuarded(message, messageSize, [&]() -> std::optional<Failure> {
    if (outputPath == nullptr) return kettorin::NullArgument("output path");
    std::string text;
    Request request;
    if (auto failure = kettorin::ReadInput(source, input, size, options, text, request)) {
      return failure;
    }
    kettorin::WavOutput output;
    output.path = kettorin::MakeOutputPath(outputPath);
    // The report and warnings print as the command prints them, unless quiet; a failure comes
    // back in the message instead of on standard error.
    const bool quiet = request.options.quiet;
    Failure failure;
    const int32_t status = kettorin::RenderToFiles(
        request, output,
        [&](kettorin::Channel channel, std::string_view line) {
          if (channel == kettorin::Channel::kError || quiet) return;
          std::FILE* stream = channel == kettorin::Channel::kReport ? stdout : stderr;
          std::fwrite(line.data(), 1, line.size(), stream);
        },
        &failure);
    if (status == kettorin::kStatusDone) return std::nullopt;
    return failure;
  });
}

extern "C" KETTORIN_API int32_t KETTORIN_CALL
KettorinWriteWavWith(const KettorinChar* outputPath, const float* samples, int64_t count,
                     const KettorinOptions* options, char* message, int32_t messageSize) {
  return kettorin::RenderGuarded(message, messageSize, [&]() -> std::optional<Failure> {
    const kettorin::RenderOptions defaults;
    return kettorin::WriteSamples(outputPath, samples, count,
                                  options != nullptr ? options->options : defaults);
  });
}
