// The MIDI call: the bytes of a Standard MIDI File in, a WAV file (and stems) out, with its report.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string_view>

#include "midi/midi_track.h"
#include "track/track_output.h"

namespace kettorin {

// Reads, renders and writes a MIDI file. A damaged file prints one line on standard error and
// returns 15: "Error: byte N: ..." or, given the name of the file, "NAME: byte N: ...".
int32_t ComposeMidi(std::span<const uint8_t> bytes, const MidiOptions& options,
                    const TrackOutput& output, std::string_view sourceName = {});

// Prints the hits a MIDI file plays and the notes it skips on `out`, without rendering anything
// (`limit`: the samples the output format could hold). Returns the status ComposeMidi would have
// for a failure, or kStatusDone.
int32_t ListMidi(std::span<const uint8_t> bytes, const MidiOptions& options, int64_t limit,
                 std::FILE* out, std::string_view sourceName = {});

}  // namespace kettorin
