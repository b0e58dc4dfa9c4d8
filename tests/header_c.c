/* The public header compiles as C, and a C host can call the library. */
#include <stdio.h>

#include "kettorin.h"

int main(void) {
  /* A null argument is refused with its own status, before anything is written. */
  const KettorinChar kick[] = {'k', 'i', 'c', 'k', 0};
  const int32_t status = KettorinCompose(kick, NULL, 8000, kick, 120);
  if (status != KETTORIN_NULL_ARGUMENT) {
    printf("expected %d, got %d\n", KETTORIN_NULL_ARGUMENT, (int)status);
    return 1;
  }
  if (KettorinComposeMidi(NULL, 0, 8000, kick) != KETTORIN_NULL_ARGUMENT) {
    printf("KettorinComposeMidi did not refuse null data\n");
    return 1;
  }
  /* The rendering calls' types are C too: ask for a beat's sample count. */
  const KettorinChar beat[] = {'k', 'i', 'c', 'k', ' ', 'x', 0};
  const KettorinBeatOptions options = {8000, 0, 0, KETTORIN_LOOP, 0.0};
  int64_t count = 0;
  char message[64];
  if (KettorinRenderBeat(beat, &options, NULL, NULL, 0, &count, message, sizeof message) !=
          KETTORIN_DONE ||
      count != 1000) {
    printf("size query: %s\n", message);
    return 1;
  }
  return 0;
}
