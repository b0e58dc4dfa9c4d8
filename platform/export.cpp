// The file-writing calls: strings in from the caller, status out, nothing thrown.
#include <cstdio>
#include <exception>
#include <new>
#include <string>

#include "beat/beat_call.h"
#include "compose/compose.h"
#include "midi/midi_call.h"
#include "platform/boundary.h"
#include "platform/kettorin.h"

namespace {

using kettorin::ComposeRequest;
using kettorin::MakeOutputPath;
using kettorin::Narrow;
using kettorin::Utf8;

// No exception leaves the library: each becomes a status and its error line.
template <class Call>
int32_t Guarded(Call call) {
  try {
    return call();
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "Error: Memory allocation failed.\n");
    return kettorin::kStatusNoStorage;
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "Error: Internal failure: %s\n", failure.what());
    return kettorin::kStatusNoStorage;
  } catch (...) {
    std::fprintf(stderr, "Error: Internal failure.\n");
    return kettorin::kStatusNoStorage;
  }
}

const char* NullArgument(const KettorinChar* drumName, const KettorinChar* notes,
                         const KettorinChar* outputPath) {
  if (drumName == nullptr) return "drum name";
  if (notes == nullptr) return "note string";
  if (outputPath == nullptr) return "output path";
  return nullptr;
}

}  // namespace

extern "C" KETTORIN_API int32_t KETTORIN_CALL KettorinCompose(const KettorinChar* drumName,
                                                              const KettorinChar* notes,
                                                              int32_t sampleRate,
                                                              const KettorinChar* outputPath,
                                                              int32_t tempo) {
  if (const char* missing = NullArgument(drumName, notes, outputPath)) {
    std::fprintf(stderr, "Error: The %s must not be null.\n", missing);
    return kettorin::kStatusNullArgument;
  }
  return Guarded([&] {
    kettorin::WavOutput output;
    output.path = MakeOutputPath(outputPath);
    const std::string drum = Narrow(drumName);
    const std::string narrowNotes = Narrow(notes);
    return kettorin::Compose({drum, narrowNotes, sampleRate, tempo}, output);
  });
}

extern "C" KETTORIN_API int32_t KETTORIN_CALL KettorinComposeBeat(const KettorinChar* beatText,
                                                                  int32_t sampleRate,
                                                                  const KettorinChar* outputPath) {
  if (const char* missing = beatText == nullptr     ? "beat text"
                            : outputPath == nullptr ? "output path"
                                                    : nullptr) {
    std::fprintf(stderr, "Error: The %s must not be null.\n", missing);
    return kettorin::kStatusNullArgument;
  }
  return Guarded([&] {
    kettorin::TrackOutput output;
    output.mix.path = MakeOutputPath(outputPath);
    kettorin::BeatOptions options;
    options.sampleRate = sampleRate;
    return kettorin::ComposeBeat(Utf8(beatText), options, output);
  });
}

extern "C" KETTORIN_API int32_t KETTORIN_CALL KettorinComposeMidi(const uint8_t* data, int32_t size,
                                                                  int32_t sampleRate,
                                                                  const KettorinChar* outputPath) {
  if (const char* missing = data == nullptr         ? "MIDI data"
                            : outputPath == nullptr ? "output path"
                                                    : nullptr) {
    std::fprintf(stderr, "Error: The %s must not be null.\n", missing);
    return kettorin::kStatusNullArgument;
  }
  if (size < 0) {
    std::fprintf(stderr, "Error: The MIDI data's size must not be negative. Got: %d\n",
                 static_cast<int>(size));
    return kettorin::kStatusBadInput;
  }
  return Guarded([&] {
    kettorin::TrackOutput output;
    output.mix.path = MakeOutputPath(outputPath);
    kettorin::MidiOptions options;
    options.sampleRate = sampleRate;
    return kettorin::ComposeMidi({data, static_cast<size_t>(size)}, options, output);
  });
}
