// What the exported functions share at the boundary: the caller's strings made narrow, and for
// the calls that render into memory, the caller's sample and message buffers.
#pragma once

#include <cstdint>
#include <exception>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "platform/kettorin.h"
#include "platform/text.h"
#include "track/status.h"
#include "track/track.h"
#include "wav/wav_writer.h"

namespace kettorin {

// ---- Strings --------------------------------------------------------------------------------

// The caller's text: NUL-terminated, or of a known length.
using TextView = std::basic_string_view<KettorinChar>;

#ifdef _WIN32
// Report and messages in the ANSI code page; the file itself is opened by its UTF-16 path, so a
// name the code page cannot hold never lands on a best-fit look-alike.
inline std::string Narrow(TextView text) {
  return WideToAnsi(text);
}
inline OutputPath MakeOutputPath(const KettorinChar* path) {
  return {Narrow(path), path};
}
#else
inline std::string Narrow(TextView text) {
  return Utf16ToUtf8(text);
}
inline OutputPath MakeOutputPath(const KettorinChar* path) {
  std::string narrow = Narrow(path);
  return {narrow, narrow};
}
#endif

// Text the system reads as UTF-8 on every platform.
inline std::string Utf8(TextView text) {
#ifdef _WIN32
  return Utf16ToUtf8(std::u16string(text.begin(), text.end()));
#else
  return Utf16ToUtf8(text);
#endif
}

// ---- Rendering into the caller's memory -------------------------------------------------------

// The caller's buffers: where the samples go and where their count is reported.
struct SampleSink {
  float* samples = nullptr;  // null: count only
  int64_t capacity = 0;
  int64_t* sampleCount = nullptr;
};

// Copies text into the caller's message buffer, NUL-terminated, cut at a UTF-8 character
// boundary when it does not fit.
void CopyMessage(std::string_view text, char* message, int32_t messageSize);

// Reports the count, then hands `render` the caller's first `needed` samples, when there is a
// buffer and it is large enough. Nothing is written to a buffer that is too small.
template <class Render>
std::optional<Failure> Deliver(int64_t needed, const SampleSink& sink, Render render) {
  if (sink.sampleCount != nullptr) *sink.sampleCount = needed;
  if (sink.samples == nullptr) return std::nullopt;
  if (sink.capacity < needed) {
    return Failure{kStatusBufferTooSmall,
                   "The buffer holds " + std::to_string(sink.capacity < 0 ? 0 : sink.capacity) +
                       " samples; the call needs " + std::to_string(needed) + "."};
  }
  render(std::span<float>(sink.samples, static_cast<size_t>(needed)));
  return std::nullopt;
}

// Runs a call that renders into memory: its failure, or any exception, becomes the status and
// the message in the caller's buffer; success leaves the message empty.
template <class Call>
int32_t RenderGuarded(char* message, int32_t messageSize, Call call) {
  std::optional<Failure> failure;
  int32_t status = kStatusDone;
  std::string_view text;  // the literals below allocate nothing, so out of memory still reports
  try {
    failure = call();
    if (failure) {
      status = failure->status;
      text = failure->message;
    }
  } catch (const std::bad_alloc&) {
    status = kStatusNoStorage;
    text = "Memory allocation failed.";
  } catch (...) {
    status = kStatusNoStorage;
    text = "Internal failure.";
  }
  CopyMessage(text, message, messageSize);
  return status;
}

}  // namespace kettorin
