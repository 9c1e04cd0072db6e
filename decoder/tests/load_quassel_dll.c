/*
 * Loads Quassel.dll at run time, as other Windows programs do, and decodes each script
 * named on the command line. One line per script on standard output:
 *   NAME RESULT RECORDS
 * RESULT the load's result code in hex, RECORDS every record byte in hex (all records
 * at once, as GetAllConfigCommands hands them out; "-" when there are none).
 * Exit status: 0 done, 1 the library or one of its four functions is missing or its
 * version is not "1.3.0".
 */
#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>

#include "quassel.h"

typedef uint32_t (*LoadFn)(const char*, uint32_t, uint32_t*, uint32_t*, uint32_t*, uint32_t*,
                           uint32_t*);
typedef uint32_t (*HandOutFn)(uint8_t*, uint32_t*);
typedef const char* (*VersionFn)(void);

static const char* BaseName(const char* path) {
  const char* name = path;
  for (const char* p = path; *p; ++p) {
    if (*p == '/' || *p == '\\') name = p + 1;
  }
  return name;
}

int main(int argc, char** argv) {
  _setmode(_fileno(stdout), _O_BINARY); /* "\n" line ends, as on Linux */
  HMODULE dll = LoadLibraryA("Quassel.dll");
  if (dll == NULL) {
    fprintf(stderr, "Quassel.dll: cannot load (%lu)\n", GetLastError());
    return 1;
  }
  LoadFn load = (LoadFn)(void (*)(void))GetProcAddress(dll, "LoadConfigurationText");
  HandOutFn next = (HandOutFn)(void (*)(void))GetProcAddress(dll, "GetNextConfigCommand");
  HandOutFn all = (HandOutFn)(void (*)(void))GetProcAddress(dll, "GetAllConfigCommands");
  VersionFn version = (VersionFn)(void (*)(void))GetProcAddress(dll, "GetDLLVersion");
  if (load == NULL || next == NULL || all == NULL || version == NULL) {
    fprintf(stderr, "Quassel.dll: an export is missing\n");
    return 1;
  }
  if (strcmp(version(), "1.3.0") != 0) {
    fprintf(stderr, "Quassel.dll: version %s\n", version());
    return 1;
  }
  for (int i = 1; i < argc; ++i) {
    uint32_t count = 0, largest = 0, total = 0, detail = 0, line = 0;
    const uint32_t result = load(argv[i], 2, &count, &largest, &total, &detail, &line);
    printf("%s %08x ", BaseName(argv[i]), (unsigned)result);
    if (result != QUASSEL_OK || total == 0) {
      printf("-\n");
      continue;
    }
    uint8_t* records = (uint8_t*)malloc(total);
    uint32_t capacity = total;
    if (records == NULL || all(records, &capacity) != QUASSEL_OK) {
      printf("?\n");
    } else {
      for (uint32_t b = 0; b < capacity; ++b) printf("%02x", records[b]);
      printf("\n");
    }
    free(records);
  }
  FreeLibrary(dll);
  return 0;
}
