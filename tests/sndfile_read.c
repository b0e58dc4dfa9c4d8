/* Opens a sound file with libsndfile and prints "frames rate channels format"; with a second
 * argument "samples", also a hash of every sample as libsndfile decodes it to 32-bit ints, so
 * that two files holding the same samples print the same line whatever their format; with
 * "markers", the cue points libsndfile finds (their count and frames) and the sampler loop's
 * start and end ("loop -" without one). */
#include <sndfile.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

int main(int argc, char** argv) {
  if (argc != 2 && argc != 3) return 2;
  SF_INFO info = {0};
  SNDFILE* file = sf_open(argv[1], SFM_READ, &info);
  if (file == NULL) {
    fprintf(stderr, "%s\n", sf_strerror(NULL));
    return 1;
  }
  const int sub = info.format & SF_FORMAT_SUBMASK;
  printf("%lld %d %d %s", (long long)info.frames, info.samplerate, info.channels,
         sub == SF_FORMAT_FLOAT ? "float" : sub == SF_FORMAT_PCM_24 ? "pcm24" : "pcm16");
  if (argc == 3 && strcmp(argv[2], "samples") == 0) {
    uint64_t hash = 1469598103934665603ULL; /* FNV-1a over the samples' 32-bit values */
    int block[4096];
    sf_count_t got;
    while ((got = sf_read_int(file, block, 4096)) > 0) {
      for (sf_count_t i = 0; i < got; ++i) {
        hash = (hash ^ (uint32_t)block[i]) * 1099511628211ULL;
      }
    }
    printf(" %016llx", (unsigned long long)hash);
  }
  if (argc == 3 && strcmp(argv[2], "markers") == 0) {
    uint32_t count = 0;
    if (sf_command(file, SFC_GET_CUE_COUNT, &count, sizeof count) == SF_FALSE) count = 0;
    printf(" cues %u", count);
    if (count > 0) {
      static SF_CUES cues;
      if (sf_command(file, SFC_GET_CUE, &cues, sizeof cues) == SF_TRUE) {
        for (uint32_t i = 0; i < cues.cue_count && i < 100; ++i) {
          printf(" %u", (unsigned)cues.cue_points[i].sample_offset);
        }
      }
    }
    SF_INSTRUMENT instrument;
    memset(&instrument, 0, sizeof instrument);
    if (sf_command(file, SFC_GET_INSTRUMENT, &instrument, sizeof instrument) == SF_TRUE &&
        instrument.loop_count > 0) {
      printf(" loop %u %u", (unsigned)instrument.loops[0].start, (unsigned)instrument.loops[0].end);
    } else {
      printf(" loop -");
    }
  }
  printf("\n");
  sf_close(file);
  return 0;
}
