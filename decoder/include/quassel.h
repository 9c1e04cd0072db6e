/*
 * quassel.h - the configuration script decoder.
 *
 * LoadConfigurationText reads a whole configuration script into the library's
 * command buffer; GetNextConfigCommand and GetAllConfigCommands hand its command
 * records out. A record is: command byte, sub-command byte, data length
 * (16-bit big-endian), data.
 *
 * The library keeps one command buffer for the whole process. The functions are
 * not safe to call concurrently.
 */
#ifndef QUASSEL_H
#define QUASSEL_H

#include <stdint.h>

#if defined(_WIN32)
#  if defined(QUASSEL_BUILDING)
#    define QUASSEL_API __declspec(dllexport)
#  else
#    define QUASSEL_API __declspec(dllimport)
#  endif
#else
#  define QUASSEL_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Result codes. */
#define QUASSEL_OK                  0x00000000u /* success */
#define QUASSEL_NOT_ENOUGH_MEMORY   0x20000002u /* destination too small, or memory could not be had */
#define QUASSEL_INVALID_PARAMETER   0x20000003u /* a pointer argument is null */
#define QUASSEL_FILE_NOT_FOUND      0x20000004u /* not produced by this version */
#define QUASSEL_FILE_OPEN_ERROR     0x20000005u /* the script file cannot be opened for reading */
#define QUASSEL_FILE_OPERATION      0x20000006u /* not produced by this version */
#define QUASSEL_SCRIPT_FORMAT_ERROR 0x20000007u /* the script cannot be decoded; see the detail code */
#define QUASSEL_ALL_PROCESSED       0x20000008u /* no record left to hand out */
#define QUASSEL_DEVICE_UNSUPPORTED  0x20000009u /* not produced by this version */

/* Detail codes, delivered only through LoadConfigurationText's detailCode. */
#define QUASSEL_DETAIL_COMMAND_FORMAT 0x20000010u /* a statement word where another was expected */
#define QUASSEL_DETAIL_INVALID_VALUE  0x20000011u /* odd number of digits, bad quoting, record too long */
#define QUASSEL_DETAIL_NOT_HEX        0x20000012u /* a character pair that is not two hex digits */

/*
 * Decodes the script at path into the command buffer, replacing the previous one.
 * deviceType is the reader type (0 to 3); the records do not depend on it.
 *
 * Returns QUASSEL_OK: *commandCount, *maxRecordSize (4 at least) and *totalBytes are
 *   written, and the read cursor stands at the first record.
 * Returns QUASSEL_FILE_OPEN_ERROR: the file cannot be opened; detail and line 0.
 * Returns QUASSEL_SCRIPT_FORMAT_ERROR: the script is malformed; *detailCode names the
 *   fault and *errorLine its 1-based physical line. A read failure gives detail 0 and
 *   line 0.
 * Returns QUASSEL_NOT_ENOUGH_MEMORY: memory ran out; detail and line 0.
 * Returns QUASSEL_INVALID_PARAMETER: a pointer is null; nothing is written.
 * *detailCode and *errorLine are written by every call but the last; the three counts
 * only on success. After any failure the command buffer is empty.
 */
QUASSEL_API uint32_t LoadConfigurationText(const char *path, uint32_t deviceType,
                                           uint32_t *commandCount, uint32_t *maxRecordSize,
                                           uint32_t *totalBytes, uint32_t *detailCode,
                                           uint32_t *errorLine);

/*
 * Copies the record at the read cursor to destination, which has room for *capacity
 * bytes.
 * Returns QUASSEL_OK: *capacity is set to the record's size and the cursor moves on.
 * Returns QUASSEL_NOT_ENOUGH_MEMORY: the record does not fit; nothing changes.
 * Returns QUASSEL_ALL_PROCESSED: no record is left (or no load succeeded); nothing changes.
 * Returns QUASSEL_INVALID_PARAMETER: a pointer is null; nothing changes.
 */
QUASSEL_API uint32_t GetNextConfigCommand(uint8_t *destination, uint32_t *capacity);

/*
 * Copies the whole command buffer to destination, which has room for *capacity bytes,
 * and sets the read cursor back to the first record.
 * Returns QUASSEL_OK: *capacity is set to the buffer's size.
 * Returns QUASSEL_NOT_ENOUGH_MEMORY: the buffer does not fit; nothing changes.
 * Returns QUASSEL_ALL_PROCESSED: the last load failed, so there is no buffer to hand
 *   out; nothing changes. Before any load the buffer is empty: QUASSEL_OK, *capacity 0.
 * Returns QUASSEL_INVALID_PARAMETER: a pointer is null; nothing changes.
 */
QUASSEL_API uint32_t GetAllConfigCommands(uint8_t *destination, uint32_t *capacity);

/* The library's version text, "1.3.0"; constant, never to be freed. */
QUASSEL_API const char *GetDLLVersion(void);

#ifdef __cplusplus
}
#endif

#endif /* QUASSEL_H */
