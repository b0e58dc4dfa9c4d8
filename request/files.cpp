// The file sink: a planned request rendered into its WAV file and stems, with the report handed
// to the door line by line.
#include <string>

#include "request/request.h"
#include "track/sample_storage.h"

namespace kettorin {

namespace {

// The path with `infix` before its file name's extension (".wav" added when there is none).
template <class Path>
Path WithInfix(const Path& path, std::string_view infix) {
  using Char = typename Path::value_type;
  auto widen = [](std::string_view ascii) { return Path(ascii.begin(), ascii.end()); };
  const size_t slash = path.find_last_of(widen("/\\"));
  const size_t nameStart = slash == Path::npos ? 0 : slash + 1;
  const size_t dot = path.find_last_of(Char('.'));
  if (dot == Path::npos || dot <= nameStart) return path + widen(infix) + widen(".wav");
  return path.substr(0, dot) + widen(infix) + path.substr(dot);
}

// Says what failed, on the door's printer and to a caller that wants the failure itself.
int32_t Fail(const Failure& failed, std::string_view line, const Printer& print, Failure* failure) {
  print(Channel::kError, line);
  if (failure != nullptr) *failure = failed;
  return failed.status;
}

// Writes one file of bytes and says how it went.
bool WriteOne(const WavOutput& output, std::span<const uint8_t> bytes, const Printer& print,
              Failure* failure) {
  std::string inPlace;
  return SayWritten(output, WriteBytes(output, bytes, &inPlace), inPlace, print, failure);
}

int32_t WriteSideFiles(const Plan& plan, const SideFiles& side, const Printer& print,
                       Failure* failure) {
  if (side.midi) {
    std::vector<uint8_t> bytes;
    if (const std::optional<Failure> refused = BeatMidi(plan, bytes)) {
      return Fail(*refused, "Error: " + refused->message + "\n", print, failure);
    }
    if (!WriteOne({*side.midi}, bytes, print, failure)) return kStatusNotWritten;
  }
  if (side.labels) {
    const std::string text = LabelsCsv(plan);
    const std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(text.data()),
                                         text.size());
    if (!WriteOne({*side.labels}, bytes, print, failure)) return kStatusNotWritten;
  }
  return kStatusDone;
}

}  // namespace

bool SayWritten(const WavOutput& output, const std::optional<WriteError>& error,
                const std::string& inPlace, const Printer& print, Failure* failure) {
  // Written straight into the target: said, since a failure part way loses the earlier file.
  if (!inPlace.empty()) {
    print(Channel::kWarning, "Warning: '" + output.path.display + "' is written in place (" +
                                 inPlace +
                                 "), so a failure part way would lose the earlier file.\n");
  }
  if (error) {
    Fail({kStatusNotWritten, error->message}, "Error: " + error->message + "\n", print, failure);
    return false;
  }
  print(Channel::kReport, CreatedLine(output.path));
  return true;
}

WavInfo FileInfo(const Plan& plan) {
  WavInfo info;
  info.sampleRate = plan.sampleRate;
  info.format = plan.options.format;
  info.channels = plan.channels;
  info.flac = plan.options.flac;
  // Beats' WAV files carry their plays as markers, and a loop's its loop.
  if (plan.source == Source::kBeat && !info.flac) {
    info.cues = Cues(plan);
    info.loop = plan.options.loop;
  }
  return info;
}

OutputPath StemPath(const Plan& plan, int32_t stem, const OutputPath& mix) {
  std::string infix(1, '.');
  infix.append(StemName(plan, stem));
  return {WithInfix(mix.display, infix), WithInfix(mix.native, infix)};
}

int32_t RenderToFiles(const Request& request, const WavOutput& mix, const Printer& print,
                      Failure* failure) {
  return RenderToFiles(request, mix, SideFiles{}, print, failure);
}

int32_t RenderToFiles(const Request& request, const WavOutput& mix, const SideFiles& side,
                      const Printer& print, Failure* failure) {
  Plan plan;
  if (const std::optional<Failure> refused = PlanRequest(request, plan)) {
    return Fail(*refused, ErrorLine(plan, *refused), print, failure);
  }
  const WavInfo info = FileInfo(plan);
  const int64_t count = plan.length * plan.channels;  // within a file's limit, so no overflow
  if (side.sound && !info.flac && RiffBytes(info, static_cast<uint64_t>(count)) > 0xFFFFFFFF) {
    const Failure tooLong{kStatusNoStorage,
                          "The track and its markers are too long for a WAV file: more than 4 GiB."};
    return Fail(tooLong, "Error: " + tooLong.message + "\n", print, failure);
  }
  if (!side.sound) return WriteSideFiles(plan, side, print, failure);
  // Storage for the mix, and for one stem at a time, allocated before anything is printed.
  const bool stems = plan.options.stems && StemCount(plan) > 0;
  const SampleStorage mixStorage = AllocateSamples(count);
  const SampleStorage stemStorage = stems ? AllocateSamples(count) : nullptr;
  if (!mixStorage || (stems && !stemStorage)) {
    return Fail({kStatusNoStorage, "Memory allocation failed."},
                "Error: Memory allocation failed.\n", print, failure);
  }
  const auto length = static_cast<size_t>(count);
  const std::span<float> samples(mixStorage.get(), length);
  const Levels levels = RenderMix(plan, samples);
  print(Channel::kReport, ReportHead(plan, levels));

  const auto write = [&](const WavOutput& output, std::span<const float> what) {
    std::string inPlace;
    return SayWritten(output, WriteWav(output, info, what, &inPlace), inPlace, print, failure);
  };
  bool written = write(mix, samples);
  if (written && stems) {
    const std::span<float> stem(stemStorage.get(), length);
    for (int32_t s = 0; s < StemCount(plan) && written; ++s) {
      RenderStem(plan, s, levels, stem);
      written = write({StemPath(plan, s, mix.path)}, stem);
    }
  }
  const int32_t status =
      written ? WriteSideFiles(plan, side, print, failure) : int32_t{kStatusNotWritten};
  print(Channel::kReport, ReportTail(plan));
  return status;
}

}  // namespace kettorin
