/* Opens a WAV file with libsndfile and prints "frames rate channels format". */
#include <sndfile.h>
#include <stdio.h>

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  SF_INFO info = {0};
  SNDFILE* file = sf_open(argv[1], SFM_READ, &info);
  if (file == NULL) {
    fprintf(stderr, "%s\n", sf_strerror(NULL));
    return 1;
  }
  printf("%lld %d %d %s\n", (long long)info.frames, info.samplerate, info.channels,
         (info.format & SF_FORMAT_SUBMASK) == SF_FORMAT_FLOAT    ? "float"
         : (info.format & SF_FORMAT_SUBMASK) == SF_FORMAT_PCM_24 ? "pcm24"
                                                                 : "pcm16");
  sf_close(file);
  return 0;
}
