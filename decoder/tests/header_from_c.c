/* The public header must compile as C: this file is built by a C compiler. */
#include "quassel.h"

uint32_t QuasselCodeFromC(void) {
  const char *(*version)(void) = GetDLLVersion;
  return version != 0 ? QUASSEL_DETAIL_NOT_HEX : QUASSEL_OK;
}
