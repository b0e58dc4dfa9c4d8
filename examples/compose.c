/* A C host: composes a short snare phrase through the library and reports the status.
 *
 *   cc compose.c $(pkg-config --cflags --libs TarneloKettorin) -o compose && ./compose out.wav
 */
#include <stdio.h>
#include <string.h>

#include "kettorin.h"

/* Widens an ASCII string into the library's UTF-16 code units. */
static void Widen(const char* text, KettorinChar* out, size_t room) {
  size_t i = 0;
  for (; text[i] != '\0' && i + 1 < room; ++i) out[i] = (KettorinChar)(unsigned char)text[i];
  out[i] = 0;
}

int main(int argc, char** argv) {
  KettorinChar drum[32], notes[64], path[512];
  Widen("snare", drum, 32);
  Widen("C D C2 E8 E8 G1", notes, 64);
  Widen(argc > 1 ? argv[1] : "example.wav", path, 512);

  const int32_t status = KettorinCompose(drum, notes, 44100, path, 110);
  if (status != KETTORIN_DONE) {
    fprintf(stderr, "composition failed with status %d\n", (int)status);
    return 1;
  }
  return 0;
}
