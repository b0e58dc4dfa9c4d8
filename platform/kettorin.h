/* TarneloKettorin: drum tracks synthesised from formulas, written as 16-bit mono WAV files.
 *
 * KettorinCompose plays a note string on one drum; KettorinComposeBeat mixes the drum lines of a
 * beat text; KettorinComposeMidi renders the drums of a Standard MIDI File. KettorinRender,
 * KettorinRenderBeat and KettorinRenderMidi give the same samples in the caller's memory, and
 * KettorinWriteWav writes such samples as the file those calls would have written. The calls that
 * end in With take every option of the command through one options object (KettorinOptions),
 * render any of the three inputs into memory (the mix or one stem), list the stems, and write
 * 16-bit or float files and stems.
 * Callable from C and C++. Strings the caller passes in are NUL-terminated UTF-16: wchar_t on
 * Windows, char16_t elsewhere (uint_least16_t in C, the same 16-bit code units). Strings the
 * library hands out (messages, drum names) are NUL-terminated UTF-8.
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
#define KETTORIN_DONE 999           /* done: the file written, or the samples rendered or counted */
#define KETTORIN_NULL_ARGUMENT 10   /* a string, the MIDI data, or a sample buffer with samples
                                       was null */
#define KETTORIN_BAD_SAMPLE_RATE 11 /* sampleRate below 1 */
#define KETTORIN_BAD_TEMPO 12       /* tempo outside 1 to 999 */
#define KETTORIN_NO_STORAGE 13      /* longer than a WAV file can hold, or out of memory */
#define KETTORIN_NOT_WRITTEN 14     /* the output file could not be opened, written or closed */
#define KETTORIN_BAD_INPUT 15       /* a beat text or MIDI file cannot be read, or an option is
                                       out of range */
#define KETTORIN_BUFFER_TOO_SMALL 16 /* the caller's buffer is too small; nothing written to it */

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
 *             A song holds patterns, each under its "pattern NAME" line with its own tempo, steps
 *             and swing where it sets them, and "play" lines giving the order with counts and
 *             groups ("play intro (verse*3 fill)*2 outro"); see the README's songs section.
 * sampleRate  samples per second, at least 1.
 * outputPath  the file to create or replace, as for KettorinCompose.
 *
 * Step s starts at sample floor((100 s + w) x 60 x sampleRate / (100 x tempo x steps)), where w
 * is 2 x (swing - 50) for odd steps and 0 for even ones. A hit sounds until the next hit of its
 * line (in a song: of its lane), at most its ring; the mix is lowered to full scale when its
 * peak exceeds it. A song's steps are timed so from the start of each run of patterns with one
 * tempo, steps and swing.
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

/* ---- Rendering into memory -------------------------------------------------------------------
 *
 * These calls print nothing and never touch a file. The caller owns every buffer:
 *
 * samples      where the samples go: mono, single precision, full scale at -1 and 1, at the call's
 *              sample rate. Null asks only for the count: nothing is rendered, and the count and
 *              every error the call can see without rendering are reported as usual.
 * capacity     floats at `samples`. Fewer than the call needs gives KETTORIN_BUFFER_TOO_SMALL
 *              with nothing written to `samples` (a negative capacity counts as 0).
 * sampleCount  receives the number of samples the call produces, whenever it is known (also
 *              with KETTORIN_BUFFER_TOO_SMALL, so a caller can grow the buffer). May be null.
 * message      receives why a call failed: UTF-8, without "Error: ", NUL-terminated, cut at a
 *              character boundary to fit; "" when the call succeeds. May be null.
 * messageSize  bytes at `message`, the terminating NUL included; 0 or less writes nothing.
 *
 * The message goes into the caller's buffer rather than into a result object or per-thread
 * storage: nothing is allocated across the boundary, there is no free function to forget, and
 * calls on any number of threads at once need no locks, since each sees only its own buffers.
 * 256 bytes hold every message except one quoting a long word of the caller's text, which is cut.
 * The library keeps no state between calls: calls on different threads never interfere.
 *
 * Strings passed in are UTF-16, as for the file-writing calls, so a host converts its strings one
 * way for every call and a Windows file name reaches the file system whole. Strings handed out
 * are UTF-8 in byte buffers, sized as snprintf's are, the form every language decodes.
 */

/* Renders what KettorinCompose would write for the same arguments: the single-precision samples
 * its 16-bit file is converted from, bit for bit. drumName, notes, sampleRate and tempo are as
 * for KettorinCompose.
 *
 * Returns KETTORIN_DONE, KETTORIN_NULL_ARGUMENT (drumName or notes null),
 * KETTORIN_BAD_TEMPO (checked first), KETTORIN_BAD_SAMPLE_RATE, KETTORIN_NO_STORAGE (more samples
 * than a WAV file can hold, 2147483629, or out of memory) or KETTORIN_BUFFER_TOO_SMALL.
 */
KETTORIN_API int32_t KETTORIN_CALL KettorinRender(const KettorinChar* drumName,
                                                  const KettorinChar* notes, int32_t sampleRate,
                                                  int32_t tempo, float* samples, int64_t capacity,
                                                  int64_t* sampleCount, char* message,
                                                  int32_t messageSize);

/* Flags of KettorinBeatOptions. */
#define KETTORIN_LOOP 1u         /* the last hits ring over into the start: a seamless loop */
#define KETTORIN_NO_NORMALIZE 2u /* keep the mix as it is even when its peak passes full scale */

/* How a beat is rendered: what the command's options for beats change in the samples. */
typedef struct KettorinBeatOptions {
  int32_t sampleRate; /* samples per second, at least 1 */
  int32_t tempo;      /* beats per minute, 1 to 999, instead of the beat's; 0 keeps the beat's */
  int32_t repeat;     /* times the order is played, 1 to 10000, instead of the beat's; 0 keeps it */
  uint32_t flags;     /* KETTORIN_LOOP and KETTORIN_NO_NORMALIZE, or 0; other bits are refused */
  double gainDb;      /* decibels, -120 to 120, the mix is raised or lowered by before its peak is
                         measured; 0 leaves it as it is */
} KettorinBeatOptions;

/* What was done to a mix after its hits were added. */
typedef struct KettorinLevels {
  float gain;      /* the factor of the gain, float(10^(gainDb / 20)); 1 without a gain */
  float peak;      /* the largest magnitude after the gain, before normalising */
  float normalize; /* 1 / peak when the mix was lowered to full scale, otherwise 1 */
} KettorinLevels;

/* Renders the mix of a beat text, as KettorinComposeBeat and the command's beat form do with the
 * same options: bit for bit the samples their files are converted from. Always mono: a text that
 * asks for stereo is rendered as the command's --mono renders it (KettorinRenderWith gives
 * stereo).
 *
 * beatText     the beat, as for KettorinComposeBeat.
 * options      as above; null renders at 44100 Hz with the beat's own tempo and repeat,
 *              normalised, without gain or loop (what KettorinComposeBeat does at that rate).
 * levels       receives what was done to the mix, when samples were rendered. May be null.
 *
 * Returns KETTORIN_DONE, KETTORIN_NULL_ARGUMENT (beatText null), KETTORIN_BAD_SAMPLE_RATE,
 * KETTORIN_BAD_INPUT (a text that cannot be read: "line N: ...", a repeat, gain or flag out of
 * range), KETTORIN_BAD_TEMPO, KETTORIN_NO_STORAGE (longer than a WAV file can hold, more than
 * 4194304 hits, or out of memory) or KETTORIN_BUFFER_TOO_SMALL. The rate is checked first, then
 * the text, then tempo, repeat and length, as KettorinComposeBeat checks them, then flags and gain.
 */
KETTORIN_API int32_t KETTORIN_CALL KettorinRenderBeat(const KettorinChar* beatText,
                                                      const KettorinBeatOptions* options,
                                                      KettorinLevels* levels, float* samples,
                                                      int64_t capacity, int64_t* sampleCount,
                                                      char* message, int32_t messageSize);

/* Renders the drums of a Standard MIDI File into the caller's memory: the samples
 * KettorinComposeMidi converts into its file, bit for bit.
 *
 * data, size  the file's bytes, as for KettorinComposeMidi (drums on channel 10).
 * sampleRate  samples per second, at least 1.
 * flags       0, or KETTORIN_NO_NORMALIZE (KETTORIN_LOOP is refused: a MIDI file does not loop).
 * gainDb      decibels, -120 to 120, added to the mix before its peak is measured (0: none).
 * levels      receives the factors the mix was given, as for KettorinRenderBeat. May be null.
 * samples, capacity, sampleCount, message, messageSize  as for KettorinRender.
 *
 * Always mono. Prints nothing. Returns KETTORIN_DONE, KETTORIN_NULL_ARGUMENT,
 * KETTORIN_BAD_SAMPLE_RATE, KETTORIN_BAD_INPUT (a negative size, a file that cannot be read:
 * "byte N: ...", a flag or gain out of range), KETTORIN_NO_STORAGE or KETTORIN_BUFFER_TOO_SMALL.
 */
KETTORIN_API int32_t KETTORIN_CALL KettorinRenderMidi(const uint8_t* data, int32_t size,
                                                     int32_t sampleRate, uint32_t flags,
                                                     double gainDb, KettorinLevels* levels,
                                                     float* samples, int64_t capacity,
                                                     int64_t* sampleCount, char* message,
                                                     int32_t messageSize);

/* Writes samples as a 16-bit mono WAV file, converted exactly as KettorinCompose converts its own:
 * trunc(sample x 32767), saturating beyond full scale; NaN stores 0.
 *
 * outputPath   the file to create or replace, as for KettorinCompose.
 * samples      `count` samples; may be null when count is 0.
 * count        0 to 2147483629 samples.
 * sampleRate   samples per second, at least 1, stored in the header.
 * message      receives why the call failed, as for the rendering calls. May be null.
 *
 * Prints nothing: why a file could not be written is in the message, with the system's reason.
 * Returns KETTORIN_DONE,
 * KETTORIN_NULL_ARGUMENT, KETTORIN_BAD_SAMPLE_RATE, KETTORIN_NO_STORAGE (count out of range) or
 * KETTORIN_NOT_WRITTEN (then an earlier file is left as it was).
 */
KETTORIN_API int32_t KETTORIN_CALL KettorinWriteWav(const KettorinChar* outputPath,
                                                    const float* samples, int64_t count,
                                                    int32_t sampleRate, char* message,
                                                    int32_t messageSize);

/* ---- Every option of the command: the options object ----------------------------------------
 *
 * The calls below take every option the command has through one options object, made by the
 * library and set by name, with the words and values the command's options take:
 *
 *   name       value     meaning (for which input)
 *   rate       HZ        samples per second, at least 1 (default 44100)
 *   tempo      BPM       1 to 999: a note string's tempo (default 120), or a beat's instead of
 *                        its own (a song pattern's own tempo stays); 0 keeps the beat's.
 *                        Refused for MIDI files.
 *   repeat     N         1 to 10000: times a beat's order is played instead of its own; 0 keeps it
 *   loop       BOOL      a beat's last hits ring over into the start: a seamless loop
 *   gain       DB        -120 to 120 dB added to a beat's or MIDI file's mix before its peak
 *   normalize  BOOL      lower the mix to full scale when its peak passes it (default 1)
 *   channel    N         1 to 16: the MIDI channel of the drums (default 10)
 *   map        KEY=DRUM  play MIDI key 0 to 127 with a drum (a MIDI file's keys, a beat line
 *                        named by a key number); each call adds one, "" clears them
 *   seed       N         0 to 4294967295: a beat's seed for ? cells and the human feel
 *   humanize   MS,PERCENT  0 to 100 each: a beat's hits move by up to +-MS ms, their levels by
 *                        up to +-PERCENT %, instead of its own
 *   choke      BOOL      a closed hi-hat stops an open one ringing (beats and MIDI; default 1,
 *                        a beat's own "choke off" without it)
 *   channels   1|2       mono or stereo instead of the input's own: a beat is stereo when its
 *                        text says "stereo" or a line has pan=, a MIDI file is mono; a note
 *                        string is always mono (2 is refused)
 *   pan        DRUM=P    place a drum at -1 (left) to 1 (right) in a stereo beat (its lines
 *                        without pan=) or MIDI file; each call adds one and asks for stereo
 *                        unless channels is 1, "" clears them
 *   drum       NAME      a note string's drum, as for KettorinCompose (default kick)
 *   float      BOOL      files: 32-bit IEEE float samples instead of 16-bit PCM
 *   bits       16|24     files: 16-bit (default) or 24-bit PCM samples
 *   format     wav|flac  files: WAV (default), or FLAC of the same samples where the library was
 *                        built with libsndfile (otherwise refused); not with float
 *   stems      BOOL      files: also one file per drum line or kind, beside the output
 *   quiet      BOOL      file calls: print no report
 *
 * BOOL is 1 or 0 (true/false, yes/no, on/off). An option that changes nothing for an input (loop
 * for a MIDI file, gain for a note string) is refused when the input is rendered, not ignored.
 *
 * Why an object and not a struct: a struct's size is compiled into every program built against
 * it, so each new option would change it under binaries built today, and a size or version field
 * only moves that check into every call and every caller. An object the library makes and sets by
 * name grows by new names; a program built today keeps working with every later library, and a
 * language that can pass a string reaches every option, the later ones included.
 */
typedef struct KettorinOptions KettorinOptions;

/* A new options object with every option at its default; null when out of memory. */
KETTORIN_API KettorinOptions* KETTORIN_CALL KettorinOptionsCreate(void);

/* Releases the object; null is ignored. */
KETTORIN_API void KETTORIN_CALL KettorinOptionsDestroy(KettorinOptions* options);

/* Sets one option from its UTF-8 text. Returns KETTORIN_DONE, KETTORIN_NULL_ARGUMENT (options,
 * name or value null) or KETTORIN_BAD_INPUT (an unknown name, a value of the wrong form, a gain
 * out of range; the option keeps its earlier value). Other ranges are checked when rendering.
 * message and messageSize as for the rendering calls. */
KETTORIN_API int32_t KETTORIN_CALL KettorinOptionsSet(KettorinOptions* options, const char* name,
                                                      const char* value, char* message,
                                                      int32_t messageSize);

/* What the calls below render. */
#define KETTORIN_NOTES 1 /* input: the note string, KettorinChar text; the drum is option drum */
#define KETTORIN_BEAT 2  /* input: the beat text, KettorinChar text */
#define KETTORIN_MIDI 3  /* input: the bytes of a Standard MIDI File */

/* The stem argument: the whole mix, or stem 0, 1, ... (see KettorinStemsWith). */
#define KETTORIN_MIX (-1)

/* Renders a note string, a beat or a MIDI file with the options into the caller's memory: bit for
 * bit the samples the command's --float file holds with the same options. A stereo render
 * (KettorinChannelsWith gives 2) fills the buffer with frames of a left and a right sample, and
 * sampleCount counts both: twice the frames.
 *
 * source    KETTORIN_NOTES, KETTORIN_BEAT or KETTORIN_MIDI.
 * input     the text (KettorinChar code units) or the MIDI bytes. Not null.
 * size      code units of text, or -1 for text that ends at its NUL; bytes of MIDI data (0 or more).
 * options   the options; null renders with the defaults.
 * stem      KETTORIN_MIX, or a stem: one drum line of a beat or one kind of a MIDI file, from its
 *           own hits, with the factors the mix was given.
 * levels    for the mix: receives what the headroom did (may be null). For a stem: the factors
 *           the mix's call gave, read; null renders the mix first, to find them.
 * samples, capacity, sampleCount, message, messageSize  as for KettorinRender.
 *
 * Prints nothing. Returns KETTORIN_DONE or the status the same input and options give the
 * command, KETTORIN_BAD_INPUT for a stem that does not exist, or KETTORIN_BUFFER_TOO_SMALL.
 */
KETTORIN_API int32_t KETTORIN_CALL KettorinRenderWith(int32_t source, const void* input,
                                                      int64_t size,
                                                      const KettorinOptions* options,
                                                      int32_t stem, KettorinLevels* levels,
                                                      float* samples, int64_t capacity,
                                                      int64_t* sampleCount, char* message,
                                                      int32_t messageSize);

/* How many channels the input renders in with these options: 1 (mono) or 2 (stereo, each frame a
 * left and a right sample), into `channels`. Arguments and statuses as for KettorinRenderWith. */
KETTORIN_API int32_t KETTORIN_CALL KettorinChannelsWith(int32_t source, const void* input,
                                                        int64_t size,
                                                        const KettorinOptions* options,
                                                        int32_t* channels, char* message,
                                                        int32_t messageSize);

/* The labels of every sounding hit, as CSV text (UTF-8, "\n" line ends, no NUL): a header line
 * "start_sample,start_seconds,lane,kind,key,level,length,pattern,step", then one line a hit,
 * sorted by start and then lane: its first sample, that in seconds to 9 decimals, its lane as
 * stems are named ("kick", "kick.2", "hihat"), its kind, its General MIDI key, its level before
 * the headroom (after accents and the human feel), its length in samples, and for a beat its
 * pattern (empty for a grid without patterns) and its step in the pattern, from 0.
 *
 * text, capacity  where the text goes and how many bytes it holds; text null asks for the size.
 * textSize        receives the text's size in bytes. May be null.
 * Other arguments and statuses as for KettorinRenderWith (KETTORIN_BUFFER_TOO_SMALL for a buffer
 * shorter than the text, with nothing written). A note string has no hits: only the header. */
KETTORIN_API int32_t KETTORIN_CALL KettorinLabelsWith(int32_t source, const void* input,
                                                      int64_t size,
                                                      const KettorinOptions* options, char* text,
                                                      int64_t capacity, int64_t* textSize,
                                                      char* message, int32_t messageSize);

/* A beat as a Standard MIDI File (format 0, channel 10, 960 ticks a quarter note): a tempo event
 * at each change of tempo, steps or swing, a time signature where a pattern's length in beats
 * changes, a marker with the pattern's name at each play, and a note for each sounding hit at the
 * tick nearest its start (swing, shifts, the human feel, flams and bracket cells included), its
 * key the line's key number or its kind's General MIDI key, its velocity round(level x 127)
 * within 1 to 127, its note-off after its length. The same file as the command's
 * `kettorin beat FILE --midi OUT` with the same options.
 *
 * beatText, size   the beat text, as for KettorinRenderWith with KETTORIN_BEAT.
 * bytes, capacity  where the file goes; bytes null asks for its size.
 * byteCount        receives the file's size in bytes. May be null.
 * Statuses as for KettorinRenderWith, and KETTORIN_BUFFER_TOO_SMALL. */
KETTORIN_API int32_t KETTORIN_CALL KettorinMidiWith(const KettorinChar* beatText, int64_t size,
                                                    const KettorinOptions* options,
                                                    uint8_t* bytes, int64_t capacity,
                                                    int64_t* byteCount, char* message,
                                                    int32_t messageSize);

/* A stem's kind for a beat's hihat line: one lane of open and closed hi-hats, named "hihat". */
#define KETTORIN_HIHAT_LANE 11

/* The stems of an input with these options: how many, and each one's drum kind as its index in
 * the order of KettorinDrumKinds (KETTORIN_HIHAT_LANE for a hihat line's lane). The command names
 * a stem's file after its kind's first name, with ".2", ".3" for the kind's later stems. kinds may
 * be null to ask only for the count; fewer than the stems gives KETTORIN_BUFFER_TOO_SMALL. A note
 * string has none. Other arguments and statuses as for KettorinRenderWith. */
KETTORIN_API int32_t KETTORIN_CALL KettorinStemsWith(int32_t source, const void* input,
                                                     int64_t size, const KettorinOptions* options,
                                                     int32_t* kinds, int32_t capacity,
                                                     int32_t* count, char* message,
                                                     int32_t messageSize);

/* Renders with the options and writes the WAV or FLAC file (16-bit, 24-bit or float; mono or
 * stereo) and, with option stems, the
 * stems beside it, as the command does: the same files and, unless option quiet is set, the same
 * report on standard output. A failure is not printed: it comes back as the status and the
 * message. An existing file is replaced only when the new one is complete. */
KETTORIN_API int32_t KETTORIN_CALL KettorinComposeWith(int32_t source, const void* input,
                                                       int64_t size,
                                                       const KettorinOptions* options,
                                                       const KettorinChar* outputPath,
                                                       char* message, int32_t messageSize);

/* Writes samples as a WAV file, as KettorinWriteWav does, at the options' rate and in their
 * format (options float and bits) and channels (option channels: with 2, count is even and the
 * samples are frames of a left and a right sample). Prints nothing. Returns the statuses of
 * KettorinWriteWav, and KETTORIN_BAD_SAMPLE_RATE for a rate whose byte rate (rate x bytes a
 * sample x channels) 32 bits cannot hold: above 1073741823 Hz for mono float or stereo 16-bit. */
KETTORIN_API int32_t KETTORIN_CALL KettorinWriteWavWith(const KettorinChar* outputPath,
                                                        const float* samples, int64_t count,
                                                        const KettorinOptions* options,
                                                        char* message, int32_t messageSize);

/* One drum kind. The strings are UTF-8 and live as long as the library is loaded. */
typedef struct KettorinDrumKind {
  const char* key;         /* the name to pass: "kick", "hihat_close", ... */
  const char* alias;       /* a shorter name that also selects it ("hihatc"), or "" */
  const char* displayName; /* what the report prints: "HI-HAT CLOSED" */
  const char* sound;       /* a few words about the sound */
} KettorinDrumKind;

/* Lists the drum kinds in the order their names are tried.
 *
 * kinds     where they go; null asks only for the count.
 * capacity  entries at `kinds`; fewer than the kinds gives KETTORIN_BUFFER_TOO_SMALL and writes
 *           nothing.
 * count     receives the number of kinds (11). May be null.
 *
 * Returns KETTORIN_DONE or KETTORIN_BUFFER_TOO_SMALL.
 */
KETTORIN_API int32_t KETTORIN_CALL KettorinDrumKinds(KettorinDrumKind* kinds, int32_t capacity,
                                                     int32_t* count);

#ifdef __cplusplus
}
#endif

#endif /* TARNELO_KETTORIN_H */
