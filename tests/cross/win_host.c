/* A Windows host program: loads TarneloKettorin.dll at run time, as third-party hosts do.
 *
 *   win_host version DLL    prints the file and product versions of the DLL's version resource
 *   win_host batch LIST     composes every line of LIST (UTF-8, tab-separated:
 *                           drum, notes, rate, tempo, output path) and prints each status
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

#include "kettorin.h"

typedef int32_t(KETTORIN_CALL* ComposeFunction)(const KettorinChar*, const KettorinChar*, int32_t,
                                                const KettorinChar*, int32_t);

static wchar_t* Widen(const char* utf8) {
  const int units = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, NULL, 0);
  wchar_t* wide = malloc(sizeof(wchar_t) * (size_t)units);
  MultiByteToWideChar(CP_UTF8, 0, utf8, -1, wide, units);
  return wide;
}

static int PrintVersion(const wchar_t* dll) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(dll, &ignored);
  if (size == 0) return 1;
  void* data = malloc(size);
  VS_FIXEDFILEINFO* info = NULL;
  UINT length = 0;
  if (!GetFileVersionInfoW(dll, 0, size, data) ||
      !VerQueryValueW(data, L"\\", (void**)&info, &length)) {
    return 1;
  }
  printf("file %u.%u.%u.%u product %u.%u.%u.%u\n", HIWORD(info->dwFileVersionMS),
         LOWORD(info->dwFileVersionMS), HIWORD(info->dwFileVersionLS),
         LOWORD(info->dwFileVersionLS), HIWORD(info->dwProductVersionMS),
         LOWORD(info->dwProductVersionMS), HIWORD(info->dwProductVersionLS),
         LOWORD(info->dwProductVersionLS));
  free(data);
  return 0;
}

static int RunBatch(const wchar_t* list) {
  HMODULE library = LoadLibraryW(L"TarneloKettorin.dll");
  if (library == NULL) {
    fprintf(stderr, "cannot load TarneloKettorin.dll\n");
    return 1;
  }
  ComposeFunction compose = (ComposeFunction)(void*)GetProcAddress(library, "KettorinCompose");
  if (compose == NULL) {
    fprintf(stderr, "no KettorinCompose export\n");
    return 1;
  }
  FILE* in = _wfopen(list, L"rb");
  if (in == NULL) return 1;
  static char line[1 << 16];
  while (fgets(line, sizeof line, in) != NULL) {
    line[strcspn(line, "\r\n")] = 0;
    char* fields[5];
    char* rest = line;
    for (int i = 0; i < 5; ++i) {
      fields[i] = rest;
      rest = strchr(rest, '\t');
      if (rest != NULL)
        *rest++ = 0;
      else
        rest = fields[i] + strlen(fields[i]);
    }
    wchar_t* drum = Widen(fields[0]);
    wchar_t* notes = Widen(fields[1]);
    wchar_t* path = Widen(fields[4]);
    fflush(stdout);
    const int32_t status = compose(drum, notes, atoi(fields[2]), path, atoi(fields[3]));
    fflush(stdout);
    fprintf(stderr, "status %d\n", (int)status);
    free(drum);
    free(notes);
    free(path);
  }
  fclose(in);
  FreeLibrary(library);
  return 0;
}

int wmain(int argc, wchar_t** argv) {
  if (argc == 3 && wcscmp(argv[1], L"version") == 0) return PrintVersion(argv[2]);
  if (argc == 3 && wcscmp(argv[1], L"batch") == 0) return RunBatch(argv[2]);
  fprintf(stderr, "usage: win_host version DLL | win_host batch LIST\n");
  return 2;
}
