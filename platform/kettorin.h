/* TarneloKettorin: compose a drum track from a note string and write it as a 16-bit mono WAV.
 *
 * One function, callable from C and C++. Strings are NUL-terminated UTF-16: wchar_t on Windows,
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

/* Status codes returned by KettorinCompose. */
#define KETTORIN_DONE 999           /* the file was written */
#define KETTORIN_NULL_ARGUMENT 10   /* drumName, notes or outputPath was null */
#define KETTORIN_BAD_SAMPLE_RATE 11 /* sampleRate below 1 */
#define KETTORIN_BAD_TEMPO 12       /* tempo outside 1 to 999 */
#define KETTORIN_NO_STORAGE 13      /* longer than a WAV file can hold, or out of memory */
#define KETTORIN_NOT_WRITTEN 14     /* the output file could not be opened, written or closed */

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

#ifdef __cplusplus
}
#endif

#endif /* TARNELO_KETTORIN_H */
