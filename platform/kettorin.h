/* TarneloKettorin: drum tracks synthesised from formulas, written as 16-bit mono WAV files.
 *
 * KettorinCompose plays a note string on one drum; KettorinComposeBeat mixes the drum lines of a
 * beat text; KettorinComposeMidi renders the drums of a Standard MIDI File. Callable from C and C++. Strings are NUL-terminated UTF-16: wchar_t on Windows,
 * char16_t elsewhere (uint_least16_t in C, the same 16-bit code units).
 */
#ifndef TARNELO_KETTORIN_H
#define TARNELO_KETTORIN_H

#include <stdint.h>

#if defined(_WIN32)
#include <wchar.h>
typedef wchar_t KettorinChar;
#define KETTORIN_CALL __stdcall
#else
#if defined(__cplusplus)
typedef char16_t KettorinChar;
#else
typedef uint_least16_t KettorinChar;
#endif
#define KETTORIN_CALL
#endif

#if defined(_WIN32)
#if defined(KETTORIN_BUILDING_LIBRARY)
#define KETTORIN_API __declspec(dllexport)
#else
#define KETTORIN_API __declspec(dllimport)
#endif
#elif defined(__GNUC__)
#define KETTORIN_API __attribute__((visibility("default")))
#else
#define KETTORIN_API
#endif

/* Status codes the functions return. */
#define KETTORIN_DONE 999           /* the file was written */
#define KETTORIN_NULL_ARGUMENT 10   /* a string, data or path argument was null */
#define KETTORIN_BAD_SAMPLE_RATE 11 /* sampleRate below 1 */
#define KETTORIN_BAD_TEMPO 12       /* tempo outside 1 to 999 */
#define KETTORIN_NO_STORAGE 13      /* longer than a WAV file can hold, or out of memory */
#define KETTORIN_NOT_WRITTEN 14     /* the output file could not be opened, written or closed */
#define KETTORIN_BAD_INPUT 15       /* the beat text or MIDI file cannot be read */

#ifdef __cplusplus
extern "C" {
#endif

/* Renders every note of `notes` with the drum `drumName` and writes the result to `outputPath`.
 *
 * drumName    a drum key, matched case-insensitively as a prefix: kick, snare, hihat_close
 *             (hihatc), hihat_open (hihato), high_tom (tom), mid_tom, low_tom, cowbell, clap,
 *             ride, crash. Any other name, the empty one included, plays the kick.
 * notes       the composition: a letter A-G, then optionally '#' or 'b', then optionally a
 *             duration number N (default 4); the note lasts (60 / tempo) / N seconds. Every other
 *             byte separates notes. A note with N = 0 is skipped.
 * sampleRate  samples per second, at least 1.
 * outputPath  the file to create or replace. An existing file is replaced only when the new one
 *             is complete; on failure it is left as it was.
 * tempo       beats per minute, 1 to 999.
 *
 * Prints a report on standard output and errors (one "Error: " line each) on standard error.
 * Returns one of the KETTORIN_ status codes above. A null string gives KETTORIN_NULL_ARGUMENT.
 * Calls on different threads do not interfere, as long as they write different files.
 */
KETTORIN_API int32_t KETTORIN_CALL KettorinCompose(const KettorinChar* drumName,
                                                   const KettorinChar* notes, int32_t sampleRate,
                                                   const KettorinChar* outputPath, int32_t tempo);

/* Mixes the drum lines of a beat and writes the result to `outputPath`.
 *
 * beatText    the beat, as UTF-16 text (its lines are read as UTF-8 would be). A line is a
 *             directive (tempo BPM: 1-999, default 120; steps N per beat: 1-64, default 4;
 *             swing PERCENT: 50-75, default 50; repeat N: 1-10000, default 1) or a drum line: a
 *             drum name (as for KettorinCompose, but a name that matches no drum is an error),
 *             optional settings pitch=NOTE (A-G, optional # or b), ring=SECONDS (0.001-60: the
 *             longest a hit sounds) and level=GAIN (0-4), then the grid: x or o a hit (0.7),
 *             X or O an accent (1.0), g a ghost note (0.35), - or . a rest; | and blanks are
 *             ignored. Every drum line has as many steps as the first. '#' at the start of a line
 *             or after a blank starts a comment.
 *             Example: "tempo 100\nkick x---x---\nsnare ----X---\nhihatc x-x-x-x-\n"
 * sampleRate  samples per second, at least 1.
 * outputPath  the file to create or replace, as for KettorinCompose.
 *
 * Step s starts at sample floor((100 s + w) x 60 x sampleRate / (100 x tempo x steps)), where w
 * is 2 x (swing - 50) for odd steps and 0 for even ones. A hit sounds until the next hit of its
 * line, at most its ring; the mix is lowered to full scale when its peak exceeds it.
 *
 * Prints a report on standard output. Returns KETTORIN_DONE, KETTORIN_NULL_ARGUMENT,
 * KETTORIN_BAD_SAMPLE_RATE, KETTORIN_NO_STORAGE (too long for a WAV file, more than 4194304
 * hits, or out of memory), KETTORIN_NOT_WRITTEN, or KETTORIN_BAD_INPUT for a text that cannot be
 * read: then one line "Error: line N: ..." on standard error and nothing is written.
 */
KETTORIN_API int32_t KETTORIN_CALL KettorinComposeBeat(const KettorinChar* beatText,
                                                       int32_t sampleRate,
                                                       const KettorinChar* outputPath);

/* Renders the drums of a Standard MIDI File and writes the result to `outputPath`.
 *
 * data        the file's bytes (formats 0, 1 and 2; ticks-per-quarter or SMPTE division). Must
 *             not be null, even when size is 0.
 * size        the number of bytes at data, at least 0.
 * sampleRate  samples per second, at least 1.
 * outputPath  the file to create or replace, as for KettorinCompose.
 *
 * The note-ons of channel 10 play drums by their General MIDI key: 35, 36 kick; 37, 38, 40
 * snare; 39 clap; 42, 44 closed hi-hat; 46 open hi-hat; 41, 43, 45 low tom; 47, 48 mid tom; 50
 * high tom; 56 cowbell; 51, 53, 59 ride; 49, 52, 55, 57 crash. Other keys are skipped and counted
 * in the report. A note at time t seconds (exact, from the ticks and the tempo map; 120 BPM until
 * the first tempo event) starts at sample floor(t x sampleRate), at level velocity / 127. A hit
 * sounds until the next hit of its kind starts, at most its kind's ring (as on a beat line);
 * note-offs do not shorten it. The file lasts until the latest end of track or the end of the
 * last hit, whichever is later; the mix is lowered to full scale when its peak exceeds it. A
 * file cut off inside a track plays the hits before the cut (the report says so).
 *
 * Prints a report on standard output. Returns KETTORIN_DONE, KETTORIN_NULL_ARGUMENT,
 * KETTORIN_BAD_SAMPLE_RATE, KETTORIN_NO_STORAGE (too long for a WAV file, more than 4194304
 * notes, or out of memory), KETTORIN_NOT_WRITTEN, or KETTORIN_BAD_INPUT for a negative size or
 * a file that is not a readable MIDI file: then one line "Error: byte N: ..." on standard error
 * (N counts from the file's first byte) and nothing is written.
 */
KETTORIN_API int32_t KETTORIN_CALL KettorinComposeMidi(const uint8_t* data, int32_t size,
                                                       int32_t sampleRate,
                                                       const KettorinChar* outputPath);

#ifdef __cplusplus
}
#endif

#endif /* TARNELO_KETTORIN_H */
