// The report as text: what the doors print, formatted from the plan, never printed here.
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <string>

#include "request/append.h"
#include "request/request.h"

namespace kettorin {

void Append(std::string& text, const char* format, ...) {
  va_list arguments;
  va_start(arguments, format);
  va_list again;
  va_copy(again, arguments);
  const int size = std::vsnprintf(nullptr, 0, format, arguments);
  va_end(arguments);
  if (size > 0) {
    const size_t at = text.size();
    text.resize(at + static_cast<size_t>(size) + 1);
    std::vsnprintf(text.data() + at, static_cast<size_t>(size) + 1, format, again);
    text.resize(at + static_cast<size_t>(size));
  }
  va_end(again);
}

namespace {

int Width(std::string_view text) {
  return static_cast<int>(text.size());
}

constexpr const char* kBanner = "\n=== DRUM MUSIC COMPOSER ===\n";

// The header's word for a stereo render.
const char* Stereo(const Plan& plan) {
  return plan.channels == 2 ? ", stereo" : "";
}

void NotesHead(std::string& text, const Plan& plan) {
  const DrumKindInfo& drum = Info(plan.composition.kind);
  text += kBanner;
  Append(text, "Drum: %.*s\n", Width(drum.displayName), drum.displayName.data());
  Append(text, "Tempo: %d BPM\n", plan.options.tempo.value_or(kDefaultNoteTempo));
  Append(text, "Notes: %.*s\n\n", Width(plan.input), plan.input.data());
  Note note;
  for (size_t pos = 0; ReadNote(plan.input, pos, plan.composition.beat, note);) {
    if (!IsPlayed(note)) continue;
    Append(text, "  %s%d (%.0f Hz, %.2f s)\n", note.name.c_str(), note.shownNumber,
           static_cast<double>(note.frequency), static_cast<double>(note.duration));
  }
}

// The pitch column of a drum line: the note and the voice's frequency, or "-" when the kind
// ignores the pitch.
std::string PitchColumn(DrumKind kind, const char* name, float noteFrequency) {
  if (!Info(kind).followsPitch) return "-";
  char column[48];
  std::snprintf(column, sizeof column, "%s (%.0f Hz)", name,
                static_cast<double>(VoiceFrequency(kind, noteFrequency)));
  return column;
}

// The drum lines of a pattern, one line each, with what they played in the whole song: hits,
// flams and drags, and the ? cells that sounded.
// In a stereo render, where the line sits: its pan= or its kind's.
void DrumLines(std::string& text, const Plan& plan, const BeatPattern& pattern,
               const std::vector<LineTally>& tally) {
  for (size_t l = 0; l < pattern.lines.size(); ++l) {
    const BeatLine& line = pattern.lines[l];
    const LineTally& played = tally[l];
    const std::string_view name = line.hihat ? "HI-HAT" : Info(line.kind).displayName;
    std::string ring;
    Append(ring, "%g s", static_cast<double>(line.ring));
    if (line.hihat && !line.ringGiven) {
      Append(ring, " (open %g s)", static_cast<double>(Info(DrumKind::kHiHatOpen).ringSeconds));
    }
    Append(text, "  %-14.*s %5lld hit%s  pitch %-12s ring %s  level %g", Width(name), name.data(),
           static_cast<long long>(played.hits), played.hits == 1 ? " " : "s",
           PitchColumn(line.kind, line.pitch.c_str(), line.frequency).c_str(), ring.c_str(),
           static_cast<double>(line.level));
    if (plan.channels == 2) {
      Append(text, "  pan %g",
             static_cast<double>(line.pan.value_or(PanOf(line.kind, plan.options.pans))));
    }
    if (played.flams > 0) {
      Append(text, "  %lld flam%s", static_cast<long long>(played.flams),
             played.flams == 1 ? "" : "s");
    }
    if (played.drags > 0) {
      Append(text, "  %lld drag%s", static_cast<long long>(played.drags),
             played.drags == 1 ? "" : "s");
    }
    if (played.chances > 0) {
      Append(text, "  ? sounded %lld of %lld", static_cast<long long>(played.sounded),
             static_cast<long long>(played.chances));
    }
    text += '\n';
  }
}

// The human feel and the choke, where they change anything.
void Feel(std::string& text, const BeatLayout& layout) {
  if (layout.humanizeMs != 0 || layout.humanizePercent != 0) {
    Append(text, "Humanize: +-%d ms, +-%d %% level, seed %u\n", layout.humanizeMs,
           layout.humanizePercent, layout.seed);
  }
  if (!layout.choke) text += "Choke: off (open hi-hats ring through closed ones)\n";
}

// The order as it plays, name by name, when that fits a line; otherwise as the play lines give it.
std::string OrderLine(const Beat& beat, const BeatLayout& layout) {
  constexpr size_t kLine = 100;
  std::string played;
  for (int32_t p : layout.plays) {
    played += (played.empty() ? "" : " ") + beat.patterns[static_cast<size_t>(p)].name;
    if (played.size() > kLine) break;
  }
  if (played.size() <= kLine) return played;
  std::string written = WriteOrder(beat);
  if (beat.order.empty()) {
    for (const BeatPattern& pattern : beat.patterns) {
      written += (written.empty() ? "" : " ") + pattern.name;
    }
  }
  if (layout.repeat == 1) return written;
  return "(" + written + ")*" + std::to_string(layout.repeat);
}

// A song: its settings, each pattern's lines with what it sets for itself, the order, and the
// segments where the tempo or the meter changes.
void SongHead(std::string& text, const Plan& plan) {
  const Beat& beat = plan.beat;
  const BeatLayout& layout = plan.layout;
  text += kBanner;
  Append(text, "Song: %d pattern%s, %d lane%s, %lld play%s, repeat %d%s%s\n",
         static_cast<int>(beat.patterns.size()), beat.patterns.size() == 1 ? "" : "s",
         static_cast<int>(plan.track.stemKinds.size()),
         plan.track.stemKinds.size() == 1 ? "" : "s",
         static_cast<long long>(layout.plays.size()), layout.plays.size() == 1 ? "" : "s",
         layout.repeat, plan.options.loop ? ", loop" : "", Stereo(plan));
  Append(text, "Tempo: %d BPM, %d steps per beat, swing %d%%\n", layout.tempo, beat.steps,
         beat.swing);
  Feel(text, layout);
  for (size_t p = 0; p < beat.patterns.size(); ++p) {
    const BeatPattern& pattern = beat.patterns[p];
    const int64_t plays = layout.playsOf[p];
    Append(text, "\nPattern %s: %d steps", pattern.name.c_str(), pattern.GridSteps());
    // What the pattern sets for itself, where that differs from the song's.
    if (pattern.tempo.value_or(layout.tempo) != layout.tempo) {
      Append(text, ", tempo %d", *pattern.tempo);
    }
    if (beat.StepsOf(pattern) != beat.steps) Append(text, ", %d per beat", *pattern.steps);
    if (beat.SwingOf(pattern) != beat.swing) Append(text, ", swing %d%%", *pattern.swing);
    Append(text, ", played %lld time%s\n", static_cast<long long>(plays), plays == 1 ? "" : "s");
    DrumLines(text, plan, pattern, layout.tally[p]);
  }
  Append(text, "\nOrder: %s\n", OrderLine(beat, layout).c_str());
  if (layout.segments.size() > 1) {
    constexpr size_t kShown = 20;
    Append(text, "Segments: %d\n", static_cast<int>(layout.segments.size()));
    for (size_t k = 0; k < layout.segments.size() && k < kShown; ++k) {
      const Segment& segment = layout.segments[k];
      Append(text, "  at %9.3f s  %3d BPM, %2d per beat, swing %d%%, %lld play%s\n",
             static_cast<double>(segment.start) / plan.sampleRate, segment.tempo, segment.steps,
             segment.swing, static_cast<long long>(segment.plays), segment.plays == 1 ? "" : "s");
    }
    if (layout.segments.size() > kShown) {
      Append(text, "  and %d more\n", static_cast<int>(layout.segments.size() - kShown));
    }
  }
}

void BeatHead(std::string& text, const Plan& plan) {
  const Beat& beat = plan.beat;
  if (beat.IsSong()) return SongHead(text, plan);
  const BeatPattern& grid = beat.patterns[0];
  text += kBanner;
  Append(text, "Beat: %d drum line%s, %d steps, %d per beat, swing %d%%, repeat %d%s%s\n",
         static_cast<int>(grid.lines.size()), grid.lines.size() == 1 ? "" : "s", grid.GridSteps(),
         beat.steps, beat.swing, plan.layout.repeat, plan.options.loop ? ", loop" : "",
         Stereo(plan));
  Append(text, "Tempo: %d BPM\n", plan.layout.tempo);
  Feel(text, plan.layout);
  text += '\n';
  DrumLines(text, plan, grid, plan.layout.tally[0]);
}

void MidiHead(std::string& text, const Plan& plan) {
  const MidiPlan& midi = plan.midi;
  text += kBanner;
  Append(text, "MIDI: format %d, %d track%s, %s, channel %d%s\n", midi.format, midi.tracks,
         midi.tracks == 1 ? "" : "s", midi.division.c_str(), plan.options.channel, Stereo(plan));
  if (midi.firstTempo == 0) {
    text += "Tempo: SMPTE time (tempo events do not apply)\n\n";
  } else {
    Append(text, "Tempo: %.6g BPM at the start, %lld change%s\n\n",
           60e6 / static_cast<double>(midi.firstTempo), static_cast<long long>(midi.tempoChanges),
           midi.tempoChanges == 1 ? "" : "s");
  }
  const float frequency = plan.track.hits.empty() ? 262.0f : plan.track.hits[0].frequency;
  for (const DrumKindInfo& info : kDrumKinds) {
    const int64_t hits = midi.hitsPerKind[static_cast<size_t>(info.kind)];
    if (hits == 0) continue;
    Append(text, "  %-14.*s %5lld hit%s  pitch %-12s ring %g s", Width(info.displayName),
           info.displayName.data(), static_cast<long long>(hits), hits == 1 ? " " : "s",
           PitchColumn(info.kind, "C", frequency).c_str(), static_cast<double>(info.ringSeconds));
    if (plan.channels == 2) {
      Append(text, "  pan %g", static_cast<double>(PanOf(info.kind, plan.options.pans)));
    }
    text += '\n';
  }
  std::string skipped;
  for (size_t key = 0; key < midi.skipped.size(); ++key) {
    if (midi.skipped[key] == 0) continue;
    skipped += (skipped.empty() ? "" : ", ") + std::to_string(key) + " (" +
               std::to_string(midi.skipped[key]) + ")";
  }
  if (!skipped.empty()) Append(text, "Skipped keys (notes): %s\n", skipped.c_str());
  if (midi.otherChannels > 0) {
    Append(text, "Notes on other channels: %lld\n", static_cast<long long>(midi.otherChannels));
  }
  for (const std::string& warning : midi.warnings) Append(text, "Warning: %s\n", warning.c_str());
}

}  // namespace

std::string ReportHead(const Plan& plan, const Levels& levels) {
  std::string text;
  switch (plan.source) {
    case Source::kNotes:
      NotesHead(text, plan);
      return text;
    case Source::kBeat:
      BeatHead(text, plan);
      break;
    case Source::kMidi:
      MidiHead(text, plan);
      break;
  }
  if (levels.gain) Append(text, "Gain: %+.1f dB\n", *plan.options.gainDb);
  if (levels.normalize) {
    Append(text, "Lowered by %.1f dB to stay within full scale.\n",
           20.0 * std::log10(static_cast<double>(levels.peak)));
  }
  return text;
}

std::string CreatedLine(const OutputPath& path) {
  return "\xE2\x9C\x93 Created: " + path.display + "\n";
}

std::string ReportTail(const Plan& plan) {
  std::string text;
  Append(
      text, "\nDuration: %.2f seconds\n\n",
      static_cast<double>(static_cast<float>(plan.length) / static_cast<float>(plan.sampleRate)));
  return text;
}

std::string MidiListing(const Plan& plan) {
  std::string text;
  MidiHead(text, plan);
  Append(text, "\n%12s %10s %4s %8s %5s  %-14s %s\n", "sample", "seconds", "key", "velocity",
         "track", "drum", "samples");
  const double rate = plan.sampleRate;
  for (const MidiHit& hit : plan.midi.hits) {
    const std::string_view name = Info(hit.kind).displayName;
    Append(text, "%12lld %10.4f %4d %8d %5d  %-14.*s %d\n", static_cast<long long>(hit.start),
           static_cast<double>(hit.start) / rate, hit.key, hit.velocity, hit.track + 1, Width(name),
           name.data(), hit.length);
  }
  Append(text, "\n%lld hit%s, %lld samples (%.2f seconds)\n",
         static_cast<long long>(plan.midi.hits.size()), plan.midi.hits.size() == 1 ? "" : "s",
         static_cast<long long>(plan.length), static_cast<double>(plan.length) / rate);
  return text;
}

std::string ErrorLine(const Plan& plan, const Failure& failure) {
  const std::string_view name = plan.sourceName;
  if (!name.empty() && plan.readError) {
    const BeatError& error = *plan.readError;
    if (error.line == 0) return std::string(name) + ": " + error.message + "\n";
    return std::string(name) + ":" + std::to_string(error.line) + ": " + error.message + "\n";
  }
  if (!name.empty() && plan.source == Source::kMidi && failure.status == kStatusBadInput) {
    return std::string(name) + ": " + failure.message + "\n";
  }
  return "Error: " + failure.message + "\n";
}

}  // namespace kettorin
