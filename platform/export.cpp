// The file-writing calls: the caller's strings made into a request, the road's file sink, and its
// report and errors printed on the console, as these calls always have. Nothing is thrown.
#include <cstdio>
#include <exception>
#include <initializer_list>
#include <new>
#include <string>

#include "platform/boundary.h"
#include "platform/kettorin.h"
#include "request/request.h"

namespace {

using kettorin::Channel;
using kettorin::MakeOutputPath;
using kettorin::Narrow;
using kettorin::Request;
using kettorin::Source;
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

struct Argument {
  const void* pointer;
  const char* name;
};

// True, after its error line, when one of the call's pointer arguments is null (the first named).
bool AnyNull(std::initializer_list<Argument> arguments) {
  for (const Argument& argument : arguments) {
    if (argument.pointer == nullptr) {
      std::fprintf(stderr, "Error: The %s must not be null.\n", argument.name);
      return true;
    }
  }
  return false;
}

// The report on standard output, warnings and errors on standard error: what the file-writing
// calls have always printed.
void PrintOnConsole(Channel channel, std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), channel == Channel::kReport ? stdout : stderr);
}

int32_t ToFiles(const Request& request, const KettorinChar* outputPath) {
  kettorin::WavOutput output;
  output.path = MakeOutputPath(outputPath);
  return kettorin::RenderToFiles(request, output, PrintOnConsole);
}

}  // namespace

extern "C" KETTORIN_API int32_t KETTORIN_CALL KettorinCompose(const KettorinChar* drumName,
                                                              const KettorinChar* notes,
                                                              int32_t sampleRate,
                                                              const KettorinChar* outputPath,
                                                              int32_t tempo) {
  if (AnyNull({{drumName, "drum name"}, {notes, "note string"}, {outputPath, "output path"}})) {
    return kettorin::kStatusNullArgument;
  }
  return Guarded([&] {
    const std::string text = Narrow(notes);
    Request request{Source::kNotes, text};
    request.options.drum = Narrow(drumName);
    request.options.sampleRate = sampleRate;
    request.options.tempo = tempo;
    return ToFiles(request, outputPath);
  });
}

extern "C" KETTORIN_API int32_t KETTORIN_CALL KettorinComposeBeat(const KettorinChar* beatText,
                                                                  int32_t sampleRate,
                                                                  const KettorinChar* outputPath) {
  if (AnyNull({{beatText, "beat text"}, {outputPath, "output path"}})) {
    return kettorin::kStatusNullArgument;
  }
  return Guarded([&] {
    const std::string text = Utf8(beatText);
    Request request{Source::kBeat, text};
    request.options.sampleRate = sampleRate;
    return ToFiles(request, outputPath);
  });
}

extern "C" KETTORIN_API int32_t KETTORIN_CALL KettorinComposeMidi(const uint8_t* data, int32_t size,
                                                                  int32_t sampleRate,
                                                                  const KettorinChar* outputPath) {
  if (AnyNull({{data, "MIDI data"}, {outputPath, "output path"}})) {
    return kettorin::kStatusNullArgument;
  }
  if (size < 0) {
    std::fprintf(stderr, "Error: The MIDI data's size must not be negative. Got: %d\n",
                 static_cast<int>(size));
    return kettorin::kStatusBadInput;
  }
  return Guarded([&] {
    Request request{Source::kMidi,
                    {reinterpret_cast<const char*>(data), static_cast<size_t>(size)}};
    request.options.sampleRate = sampleRate;
    return ToFiles(request, outputPath);
  });
}
