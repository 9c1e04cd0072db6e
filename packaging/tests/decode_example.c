/* Decodes a configuration script through the installed libquassel and prints one line
 * per record: built outside the tree through pkg-config and find_package(Quassel). */
#include <quassel.h>
#include <stdio.h>

int main(int argc, char **argv) {
  uint32_t count = 0, maxSize = 0, total = 0, detail = 0, line = 0;
  if (argc != 2) {
    fprintf(stderr, "usage: %s SCRIPT\n", argv[0]);
    return 64;
  }
  if (LoadConfigurationText(argv[1], 2, &count, &maxSize, &total, &detail, &line) != QUASSEL_OK) {
    fprintf(stderr, "%s: cannot decode (detail %#x, line %u)\n", argv[1], detail, line);
    return 1;
  }
  for (uint32_t i = 0; i < count; ++i) {
    uint8_t record[65536];
    uint32_t size = sizeof record;
    if (GetNextConfigCommand(record, &size) != QUASSEL_OK || size < 4) return 1;
    printf("%02x %02x %u\n", record[0], record[1], (unsigned)(size - 4));
  }
  printf("%u records, library %s\n", count, GetDLLVersion());
  return 0;
}
