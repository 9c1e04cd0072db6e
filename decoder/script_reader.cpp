#include "script_reader.h"

#include <array>
#include <bit>
#include <cstring>

#include "command_names.h"
#include "escaped_text.h"

// x86-64 decodes runs of hex digits sixteen characters at a time (SSSE3, chosen at run
// time); elsewhere, and with QUASSEL_PLAIN (tests), one character at a time.
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__)) && !defined(QUASSEL_PLAIN)
#define QUASSEL_SIXTEEN 1
#include <tmmintrin.h>
#endif

namespace quassel {
namespace {

using Context = ScriptReader::Context;

// Word positions: where the reader stands between the words of a statement.
enum Position : uint8_t {
  kTop,
  kGroup,
  kAid,
  kConfiguration,
  kPollmode,
  kMessage,
  kBaudrate,
  kDevicesource,
  kKat,
  kFdcMode,
  kCashtransrisk,
  kCashbacktransrisk,
  kDrlrisk,
  kRevocation,
  kRevocationList,
  kRevocationListDelete,
  kRevocationListDeleteRid,
  kException,
  kExceptionList,
  kExceptionListDelete,
};

// The words read so far at each position, for the warnings.
constexpr const char* kPositionText[] = {
    "",
    "group",
    "aid",
    "configuration",
    "pollmode",
    "message",
    "baudrate",
    "devicesource",
    "kat",
    "fdc_mode",
    "cashtransrisk",
    "cashbacktransrisk",
    "drlrisk",
    "revocation",
    "revocation list",
    "revocation list delete",
    "revocation list delete rid",
    "exception",
    "exception list",
    "exception list delete",
};

enum class Body : uint8_t { kHex, kNone, kKat, kMessage, kEntryList, kSkip };

}  // namespace

struct ScriptReader::Statement {
  const char* text;
  uint8_t command;
  uint8_t subCommand;
  Body body;
};

namespace {

using Statement = ScriptReader::Statement;

enum StatementIndex : uint8_t {
  kConfigurationSet,
  kAidSet,
  kAidDelete,
  kGroupSet,
  kGroupDelete,
  kPollmodeSet,
  kDevicesourceSet,
  kBaudrateSet,
  kCashtransriskSet,
  kCashbacktransriskSet,
  kDrlriskSet,
  kFdcModeSet,
  kKatSet,
  kMessageSet,
  kRevocationListAdd,
  kRevocationListDeleteEntry,
  kRevocationListDeleteRidIndex,
  kRevocationListDeleteAll,
  kExceptionListAdd,
  kExceptionListDeleteEntry,
  kExceptionListDeleteAll,
};

constexpr Statement kStatements[] = {
    {"configuration set", 0x04, 0x00, Body::kHex},
    {"aid set", 0x04, 0x02, Body::kHex},
    {"aid delete", 0x04, 0x04, Body::kHex},
    {"group set", 0x04, 0x03, Body::kHex},
    {"group delete", 0x04, 0x05, Body::kHex},
    {"pollmode set", 0x01, 0x01, Body::kHex},
    {"devicesource set", 0x01, 0x05, Body::kHex},
    {"baudrate set", 0x30, 0x01, Body::kHex},
    {"cashtransrisk set", 0x04, 0x0C, Body::kHex},
    {"cashbacktransrisk set", 0x04, 0x0D, Body::kHex},
    {"drlrisk set", 0x04, 0x0E, Body::kHex},
    {"fdc_mode set", 0x04, 0x08, Body::kNone},
    {"kat set", 0x04, 0x07, Body::kKat},
    {"message set", 0x01, 0x03, Body::kMessage},
    {"revocation list add", 0x84, 0x04, Body::kEntryList},
    {"revocation list delete entry", 0x84, 0x0D, Body::kEntryList},
    {"revocation list delete rid index", 0x84, 0x05, Body::kEntryList},
    {"revocation list delete all", 0x84, 0x06, Body::kSkip},
    {"exception list add", 0x84, 0x09, Body::kEntryList},
    {"exception list delete entry", 0x84, 0x0A, Body::kEntryList},
    {"exception list delete all", 0x84, 0x0B, Body::kSkip},
};

}  // namespace

const char* StatementWords(uint8_t command, uint8_t subCommand) {
  for (const Statement& statement : kStatements) {
    if (statement.command == command && statement.subCommand == subCommand) return statement.text;
  }
  return nullptr;
}

namespace {

// One step of the grammar: at position from, word leads to another position or, when
// completes is set, completes the statement target.
struct Step {
  Position from;
  std::string_view word;
  bool completes;
  uint8_t target;
};

constexpr Step kSteps[] = {
    {kTop, "group", false, kGroup},
    {kTop, "aid", false, kAid},
    {kTop, "configuration", false, kConfiguration},
    {kTop, "pollmode", false, kPollmode},
    {kTop, "message", false, kMessage},
    {kTop, "baudrate", false, kBaudrate},
    {kTop, "devicesource", false, kDevicesource},
    {kTop, "kat", false, kKat},
    {kTop, "fdc_mode", false, kFdcMode},
    {kTop, "revocation", false, kRevocation},
    {kTop, "exception", false, kException},
    {kTop, "cashtransrisk", false, kCashtransrisk},
    {kTop, "cashbacktransrisk", false, kCashbacktransrisk},
    {kTop, "drlrisk", false, kDrlrisk},
    {kGroup, "set", true, kGroupSet},
    {kGroup, "delete", true, kGroupDelete},
    {kAid, "set", true, kAidSet},
    {kAid, "delete", true, kAidDelete},
    {kConfiguration, "set", true, kConfigurationSet},
    {kPollmode, "set", true, kPollmodeSet},
    {kMessage, "set", true, kMessageSet},
    {kBaudrate, "set", true, kBaudrateSet},
    {kDevicesource, "set", true, kDevicesourceSet},
    {kKat, "set", true, kKatSet},
    {kFdcMode, "set", true, kFdcModeSet},
    {kCashtransrisk, "set", true, kCashtransriskSet},
    {kCashbacktransrisk, "set", true, kCashbacktransriskSet},
    {kDrlrisk, "set", true, kDrlriskSet},
    {kRevocation, "list", false, kRevocationList},
    {kRevocationList, "add", true, kRevocationListAdd},
    {kRevocationList, "delete", false, kRevocationListDelete},
    {kRevocationListDelete, "entry", true, kRevocationListDeleteEntry},
    {kRevocationListDelete, "all", true, kRevocationListDeleteAll},
    {kRevocationListDelete, "rid", false, kRevocationListDeleteRid},
    {kRevocationListDeleteRid, "index", true, kRevocationListDeleteRidIndex},
    {kException, "list", false, kExceptionList},
    {kExceptionList, "add", true, kExceptionListAdd},
    {kExceptionList, "delete", false, kExceptionListDelete},
    {kExceptionListDelete, "entry", true, kExceptionListDeleteEntry},
    {kExceptionListDelete, "all", true, kExceptionListDeleteAll},
};

// The four blank characters; nothing else separates words.
constexpr std::array<bool, 256> kBlank = [] {
  std::array<bool, 256> table{};
  table[' '] = table['\t'] = table['\n'] = table['\r'] = true;
  return table;
}();

// Value of a hex digit, or 0xFF.
constexpr std::array<uint8_t, 256> kHexValue = [] {
  std::array<uint8_t, 256> table{};
  for (auto& value : table) value = 0xFF;
  for (int c = '0'; c <= '9'; ++c) table[c] = static_cast<uint8_t>(c - '0');
  for (int c = 'a'; c <= 'f'; ++c) table[c] = static_cast<uint8_t>(c - 'a' + 10);
  for (int c = 'A'; c <= 'F'; ++c) table[c] = static_cast<uint8_t>(c - 'A' + 10);
  return table;
}();

// Class of a character in a hex body: its value for a hex digit, kClassBlank for a blank,
// kClassOther for anything else.
constexpr uint8_t kClassBlank = 0x10;
constexpr uint8_t kClassOther = 0x20;
constexpr std::array<uint8_t, 256> kHexClass = [] {
  std::array<uint8_t, 256> table{};
  for (size_t c = 0; c < table.size(); ++c) {
    table[c] = kHexValue[c] <= 0x0F ? kHexValue[c] : kBlank[c] ? kClassBlank : kClassOther;
  }
  return table;
}();

// Digit values are packed into bytes eight at a time on little-endian machines.
constexpr bool kSwar = std::endian::native == std::endian::little;
constexpr uint64_t Bytes(uint8_t value) {
  return 0x0101010101010101ull * value;
}

// Eight digit values, in order, as four bytes (the first value the high nibble).
constexpr uint32_t PackPairs(uint64_t values) {
  const uint64_t lanes =
      ((values & 0x000F000F000F000Full) << 4) | ((values >> 8) & 0x000F000F000F000Full);
  return static_cast<uint32_t>((lanes & 0xFF) | ((lanes >> 8) & 0xFF00) |
                               ((lanes >> 16) & 0xFF0000) | ((lanes >> 24) & 0xFF000000));
}

// Byte 0 is the first value: 0 9 0 A E F 0 1 are the bytes 09 0A EF 01.
static_assert(!kSwar || PackPairs(0x01000F0E0A000900ull) == 0x01EF0A09u);

#if QUASSEL_SIXTEEN
// Classifies sixteen characters: the digits' values, a mask of the blanks and a mask of
// the characters that are neither digits nor blanks (bit k for character k).
inline void ClassifySixteen(const unsigned char* text, __m128i* values, unsigned* blanks,
                            unsigned* others) {
  const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text));
  const __m128i blank = _mm_or_si128(
      _mm_or_si128(_mm_cmpeq_epi8(c, _mm_set1_epi8(' ')), _mm_cmpeq_epi8(c, _mm_set1_epi8('\t'))),
      _mm_or_si128(_mm_cmpeq_epi8(c, _mm_set1_epi8('\n')), _mm_cmpeq_epi8(c, _mm_set1_epi8('\r'))));
  // c in [low, low + n) is (c + 128 - low), read as signed, below n - 128.
  const __m128i digit = _mm_cmplt_epi8(_mm_add_epi8(c, _mm_set1_epi8(static_cast<char>(128 - '0'))),
                                       _mm_set1_epi8(static_cast<char>(-128 + 10)));
  const __m128i lower = _mm_or_si128(c, _mm_set1_epi8(0x20));
  const __m128i letter =
      _mm_cmplt_epi8(_mm_add_epi8(lower, _mm_set1_epi8(static_cast<char>(128 - 'a'))),
                     _mm_set1_epi8(static_cast<char>(-128 + 6)));
  const __m128i known = _mm_or_si128(blank, _mm_or_si128(digit, letter));
  *others = ~static_cast<unsigned>(_mm_movemask_epi8(known)) & 0xFFFF;
  *blanks = static_cast<unsigned>(_mm_movemask_epi8(blank));
  *values =
      _mm_add_epi8(_mm_and_si128(c, _mm_set1_epi8(0x0F)), _mm_and_si128(letter, _mm_set1_epi8(9)));
}

// For eight characters with blank mask m: where the digits stand, in order, and how many.
struct Compress {
  uint8_t index[8];
  uint8_t count;
};
constexpr std::array<Compress, 256> kCompress = [] {
  std::array<Compress, 256> table{};
  for (unsigned mask = 0; mask < 256; ++mask) {
    Compress entry{};
    for (unsigned k = 0; k < 8; ++k) {
      if ((mask & (1u << k)) == 0) entry.index[entry.count++] = static_cast<uint8_t>(k);
    }
    table[mask] = entry;
  }
  return table;
}();

// Whether a blank of mask m ends a word of odd length, given the parity of the digits
// counted before these eight characters.
constexpr std::array<std::array<uint8_t, 256>, 2> kOddBlank = [] {
  std::array<std::array<uint8_t, 256>, 2> table{};
  for (unsigned parity = 0; parity < 2; ++parity) {
    for (unsigned mask = 0; mask < 256; ++mask) {
      unsigned digits = parity;
      uint8_t odd = 0;
      for (unsigned k = 0; k < 8; ++k) {
        if ((mask & (1u << k)) != 0) {
          odd |= digits & 1;
        } else {
          ++digits;
        }
      }
      table[parity][mask] = odd;
    }
  }
  return table;
}();

bool HasSsse3() {
  __builtin_cpu_init();  // also right when a load runs before the program's constructors
  return __builtin_cpu_supports("ssse3");
}

// The sixteen-at-a-time part of HexRun: from i, appends the digit values at
// nibbles + digits (storing up to eight bytes beyond) and notes an odd word in odd, up to
// the end of the line or the first character that is neither digit nor blank. Answers
// where it stopped.
__attribute__((target("ssse3"), always_inline)) inline size_t HexSixteens(const unsigned char* text,
                                                                          size_t i, size_t size,
                                                                          uint8_t* nibbles,
                                                                          size_t& digitsOut,
                                                                          size_t& oddOut) {
  // Locals, not the references: the byte stores below could alias them otherwise.
  size_t digits = digitsOut;
  size_t odd = oddOut;
  while (i < size) {
    __m128i values;
    unsigned blanks = 0;
    unsigned others = 0;
    ClassifySixteen(text + i, &values, &blanks, &others);
    size_t step = 16;
    if (size - i < 16) {
      // Past the line's end (readable slack): read as blanks, which end the last word
      // just as the end of the line does.
      step = size - i;
      const unsigned inside = (1u << step) - 1;
      blanks |= ~inside & 0xFFFF;
      others &= inside;
    }
    unsigned skip = blanks;
    if (others != 0) {
      // Up to the foreign character only: later positions add no digits and no blanks.
      const unsigned first = static_cast<unsigned>(std::countr_zero(others));
      const unsigned before = (1u << first) - 1;
      blanks &= before;
      skip = blanks | (~before & 0xFFFF);
      step = first;
    }
    const unsigned low = skip & 0xFF;
    const unsigned high = skip >> 8;
    uint64_t lowOrder;
    uint64_t highOrder;
    std::memcpy(&lowOrder, kCompress[low].index, 8);
    std::memcpy(&highOrder, kCompress[high].index, 8);
    const __m128i order = _mm_set_epi64x(static_cast<long long>(highOrder + Bytes(8)),
                                         static_cast<long long>(lowOrder));
    const __m128i packed = _mm_shuffle_epi8(values, order);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(nibbles + digits), packed);
    odd |= kOddBlank[digits & 1][blanks & 0xFF];
    digits += kCompress[low].count;
    _mm_storel_epi64(reinterpret_cast<__m128i*>(nibbles + digits), _mm_srli_si128(packed, 8));
    odd |= kOddBlank[digits & 1][blanks >> 8];
    digits += kCompress[high].count;
    i += step;
    if (others != 0) break;
  }
  digitsOut = digits;
  oddOut = odd;
  return i;
}

// Digit values in pairs to bytes, sixteen values at a time; answers how many bytes it made
// (a multiple of eight), the rest is left to the caller.
__attribute__((target("ssse3"), always_inline)) inline size_t PackSixteens(const uint8_t* nibbles,
                                                                           size_t count,
                                                                           uint8_t* out) {
  size_t k = 0;
  for (; k + 8 <= count; k += 8) {
    const __m128i values = _mm_loadu_si128(reinterpret_cast<const __m128i*>(nibbles + 2 * k));
    const __m128i pairs = _mm_maddubs_epi16(values, _mm_set1_epi16(0x0110));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + k), _mm_packus_epi16(pairs, pairs));
  }
  return k;
}
#endif

#if defined(__GNUC__) || defined(__clang__)
#define QUASSEL_ALWAYS_INLINE __attribute__((always_inline)) inline
#else
#define QUASSEL_ALWAYS_INLINE inline
#endif

// Where a run of digits and blanks ends, and how many bytes it holds.
struct RunEnd {
  size_t end;    // where the caller goes on
  size_t count;  // bytes of the run's whole words
  bool clean;    // no word of odd length, and the record has room
};

// The end of a run: the digits from i one by one up to the end of the line or the first
// foreign character, whose word is then left to the caller.
QUASSEL_ALWAYS_INLINE RunEnd EndRun(const unsigned char* text, size_t pos, size_t size,
                                    uint8_t* nibbles, size_t i, size_t digits, size_t odd,
                                    size_t room) {
  while (i < size) {
    const uint8_t value = kHexClass[text[i]];
    if (value & kClassOther) break;
    nibbles[digits] = value;
    const size_t blank = value >> 4;
    digits += blank ^ 1;
    odd |= blank & digits;
    ++i;
  }
  RunEnd run{size, 0, false};
  size_t digitsAtBlank = digits;
  if (i < size) {
    // A foreign character: the run ends at the blank before its word (or where it began).
    run.end = i;
    while (run.end > pos && !kBlank[text[run.end - 1]]) --run.end;
    digitsAtBlank = digits - (i - run.end);
  } else {
    odd |= digits;  // the last word ends with the line
  }
  run.count = digitsAtBlank / 2;
  run.clean = (odd & 1) == 0 && run.count <= room;
  return run;
}

// Digit values in pairs to bytes, from the k-th byte on.
QUASSEL_ALWAYS_INLINE void PackRest(const uint8_t* nibbles, size_t k, size_t count, uint8_t* out) {
  if constexpr (kSwar) {
    for (; k + 4 <= count; k += 4) {
      uint64_t eight;
      std::memcpy(&eight, nibbles + 2 * k, 8);
      const uint32_t four = PackPairs(eight);
      std::memcpy(out + k, &four, 4);
    }
  }
  for (; k < count; ++k) out[k] = static_cast<uint8_t>((nibbles[2 * k] << 4) | nibbles[2 * k + 1]);
}

// Decodes, from pos, the longest run of whole words made of hex digits only, without a
// branch per word: a big script spends its time here. Since every word must have an even
// length, the digits of the run taken in pairs are the bytes of its words. pos moves
// behind the run. False, with nothing appended, when the run holds a word of odd length
// or would overfill the record: the caller then goes word by word to find the fault.
bool HexRunPlain(const unsigned char* text, size_t& pos, size_t size, uint8_t* nibbles,
                 CommandBuffer& buffer) {
  const RunEnd run =
      EndRun(text, pos, size, nibbles, pos, 0, 0, kMaxRecordData - buffer.CurrentDataLength());
  if (!run.clean) return false;
  if (run.count != 0) {
    uint8_t* out = buffer.DataRoom(run.count);
    if (out == nullptr) return false;  // the word-by-word path reports the memory
    PackRest(nibbles, 0, run.count, out);
    buffer.CommitData(run.count);
  }
  pos = run.end;
  return true;
}

#if QUASSEL_SIXTEEN
// HexRunPlain, sixteen characters at a time.
__attribute__((target("ssse3"))) bool HexRunSixteen(const unsigned char* text, size_t& pos,
                                                    size_t size, uint8_t* nibbles,
                                                    CommandBuffer& buffer) {
  size_t digits = 0;
  size_t odd = 0;
  const size_t i = HexSixteens(text, pos, size, nibbles, digits, odd);
  const RunEnd run =
      EndRun(text, pos, size, nibbles, i, digits, odd, kMaxRecordData - buffer.CurrentDataLength());
  if (!run.clean) return false;
  if (run.count != 0) {
    uint8_t* out = buffer.DataRoom(run.count);
    if (out == nullptr) return false;
    PackRest(nibbles, PackSixteens(nibbles, run.count, out), run.count, out);
    buffer.CommitData(run.count);
  }
  pos = run.end;
  return true;
}
#endif

bool IsBlank(char c) {
  return kBlank[static_cast<unsigned char>(c)];
}

char Lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

size_t SkipBlanks(std::string_view line, size_t pos) {
  while (pos < line.size() && IsBlank(line[pos])) ++pos;
  return pos;
}

size_t WordEnd(std::string_view line, size_t pos) {
  while (pos < line.size() && !IsBlank(line[pos])) ++pos;
  return pos;
}

// Keywords are compared after ASCII lowercasing.
bool EqualsKeyword(std::string_view word, std::string_view keyword) {
  if (word.size() != keyword.size()) return false;
  for (size_t i = 0; i < word.size(); ++i) {
    if (Lower(word[i]) != keyword[i]) return false;
  }
  return true;
}

bool StartsWithEnd(std::string_view text) {
  return text.size() >= 3 && EqualsKeyword(text.substr(0, 3), "end");
}

bool IsEnd(std::string_view word) {
  return EqualsKeyword(word, "end");
}

const Step* FindStep(uint8_t from, std::string_view word) {
  if (word.size() > 17) return nullptr;  // longer than any keyword
  for (const Step& step : kSteps) {
    if (step.from == from && EqualsKeyword(word, step.word)) return &step;
  }
  return nullptr;
}

// A word as shown in a warning: long ones are cut, and nothing in it can act on a
// terminal.
std::string Quoted(std::string_view word) {
  constexpr size_t kShown = 40;
  bool cut = false;
  std::string text = "'" + EscapedText(word, kShown, &cut);
  if (cut) text.append("...");
  text.push_back('\'');
  return text;
}

// True when text holds anything but blanks and a trailing comment.
bool HasText(std::string_view text) {
  const size_t pos = SkipBlanks(text, 0);
  return pos < text.size() && text[pos] != ';';
}

}  // namespace

ScriptReader::ScriptReader(CommandBuffer& buffer, std::vector<Diagnostic>& diagnostics)
    : buffer_(buffer), diagnostics_(diagnostics) {
#if QUASSEL_SIXTEEN
  sixteen_ = HasSsse3();
#endif
}

void ScriptReader::CloseDiagnostics() {
  if (suppressed_ == 0) return;
  diagnostics_.push_back(
      Diagnostic{line_, std::to_string(suppressed_) + " more warnings not listed"});
  suppressed_ = 0;
}

void ScriptReader::WarnIfText(std::string_view rest, const std::string& what) {
  if (HasText(rest)) Warn(line_, [&] { return "text after " + what + " on this line is ignored"; });
}

ReadStatus ScriptReader::Line(std::string_view line) {
  ++line_;
  switch (context_) {
    case Context::kMessageBlock:
      return MessageLine(line);
    case Context::kKatBlock:
      KatLine(line);
      return ReadStatus::kOk;
    case Context::kSkipBlock:
      SkipLine(line);
      return ReadStatus::kOk;
    case Context::kEntryLines:
      return EntryLine(line);
    default:
      return Words(line, 0);
  }
}

ReadStatus ScriptReader::Words(std::string_view line, size_t pos) {
  for (;;) {
    if (context_ == Context::kHexBody || context_ == Context::kEntryLine) {
      const ReadStatus status = DataWords(line, pos);
      if (status != ReadStatus::kOk) return status;
      if (context_ != Context::kStatementLevel) break;  // the line is done
    }
    pos = SkipBlanks(line, pos);
    if (pos >= line.size()) break;
    const size_t end = WordEnd(line, pos);
    const std::string_view word = line.substr(pos, end - pos);
    if (word[0] == ';') break;  // a comment runs to the end of the line
    pos = end;

    switch (context_) {
      case Context::kStatementLevel: {
        const Step* step = FindStep(kTop, word);
        if (step == nullptr) {
          Warn(line_, [&] {
            return IsEnd(word) ? "'end' outside any body is skipped"
                               : Quoted(word) + " is not a statement and is skipped";
          });
          break;
        }
        context_ = Context::kWords;
        position_ = step->target;
        statementLine_ = line_;
        break;
      }
      case Context::kWords: {
        const Step* step = FindStep(position_, word);
        if (step == nullptr) return ReadStatus::kCommandFormat;
        if (!step->completes) {
          position_ = step->target;
          break;
        }
        const ReadStatus status = StartStatement(kStatements[step->target], line, pos);
        if (status != ReadStatus::kOk) return status;
        // Blocks take the lines that follow; the rest of this one is not read.
        if (context_ == Context::kMessageBlock || context_ == Context::kKatBlock ||
            context_ == Context::kSkipBlock) {
          return ReadStatus::kOk;
        }
        break;
      }
      case Context::kEntryHeadLine:
        // Entries stand on the lines below; data here would belong to no entry.
        if (!IsEnd(word)) return ReadStatus::kCommandFormat;
        context_ = Context::kStatementLevel;
        break;
      default:
        break;
    }
  }
  if (context_ == Context::kEntryHeadLine || context_ == Context::kEntryLine) {
    context_ = Context::kEntryLines;
  }
  return ReadStatus::kOk;
}

ReadStatus ScriptReader::StartStatement(const Statement& statement, std::string_view line,
                                        size_t pos) {
  statement_ = &statement;
  if (statement.body == Body::kEntryList) {
    context_ = Context::kEntryHeadLine;  // records come one per entry line
    return ReadStatus::kOk;
  }
  if (!buffer_.BeginRecord(statement.command, statement.subCommand)) return ReadStatus::kNoMemory;
  switch (statement.body) {
    case Body::kHex:
      context_ = Context::kHexBody;
      break;
    case Body::kNone:
      context_ = Context::kStatementLevel;
      break;
    case Body::kKat:
      context_ = Context::kKatBlock;
      WarnIfText(line.substr(pos), "'kat set'");
      break;
    case Body::kMessage:
      context_ = Context::kMessageBlock;
      WarnIfText(line.substr(pos), "'message set'");
      break;
    case Body::kSkip:
      context_ = Context::kSkipBlock;
      WarnIfText(line.substr(pos), Quoted(statement.text));
      break;
    case Body::kEntryList:
      break;
  }
  return ReadStatus::kOk;
}

// The words of a hex body or an entry line, up to the end of the line, a comment or an
// `end` (which returns to statement level with pos behind it).
ReadStatus ScriptReader::DataWords(std::string_view line, size_t& pos) {
  const char* text = line.data();
  const size_t size = line.size();
  bool fast = true;
  for (;;) {
    if (fast) fast = HexRun(line, pos);
    while (pos < size && IsBlank(text[pos])) ++pos;
    if (pos >= size || text[pos] == ';') {
      pos = size;
      return ReadStatus::kOk;
    }
    size_t end = pos;
    while (end < size && !IsBlank(text[end])) ++end;
    const std::string_view word(text + pos, end - pos);
    pos = end;
    if (word.size() == 3 && IsEnd(word)) {
      context_ = Context::kStatementLevel;
      return ReadStatus::kOk;
    }
    // After a clean run, this word holds a character that is neither a digit nor a blank.
    if (fast) return BadDataWord(word);
    const size_t count = word.size() / 2;
    // The record's 16-bit length field cannot count past kMaxRecordData.
    if (word.size() % 2 != 0 || count > kMaxRecordData - buffer_.CurrentDataLength()) {
      return BadDataWord(word);
    }
    uint8_t* out = buffer_.DataRoom(count);
    if (out == nullptr) return ReadStatus::kNoMemory;
    const auto* digits = reinterpret_cast<const unsigned char*>(word.data());
    uint8_t bad = 0;
    for (size_t i = 0; i < count; ++i) {
      const uint8_t high = kHexValue[digits[2 * i]];
      const uint8_t low = kHexValue[digits[2 * i + 1]];
      bad |= high | low;
      out[i] = static_cast<uint8_t>((high << 4) | (low & 0x0F));
    }
    if (bad > 0x0F) return ReadStatus::kNotHex;
    buffer_.CommitData(count);
  }
}

// Decodes, from pos, the longest run of whole words made of hex digits only, in one pass
// without a branch per word: a big script spends its time here. Since every word must have
// an even length, the digits of the run taken in pairs are the bytes of its words. pos
// moves behind the run. False, with nothing appended, when the run holds a word of odd
// length or would overfill the record: the caller then goes word by word to find the fault.
bool ScriptReader::HexRun(std::string_view line, size_t& pos) {
  const size_t size = line.size();
  // Room for the run's digits, and for the whole eight that each compress step stores.
  if (nibbles_.size() < size - pos + 8) nibbles_.resize(size - pos + 8);
  const auto* text = reinterpret_cast<const unsigned char*>(line.data());
#if QUASSEL_SIXTEEN
  if (sixteen_) return HexRunSixteen(text, pos, size, nibbles_.data(), buffer_);
#endif
  return HexRunPlain(text, pos, size, nibbles_.data(), buffer_);
}

// Which fault a data word has, checked in the order the language gives them.
ReadStatus ScriptReader::BadDataWord(std::string_view word) {
  if (word.size() % 2 != 0) return ReadStatus::kInvalidValue;
  for (char c : word) {
    if (kHexValue[static_cast<unsigned char>(c)] > 0x0F) return ReadStatus::kNotHex;
  }
  return ReadStatus::kInvalidValue;  // too long for its record
}

ReadStatus ScriptReader::EntryLine(std::string_view line) {
  const size_t pos = SkipBlanks(line, 0);
  if (pos >= line.size() || line[pos] == ';') return ReadStatus::kOk;
  if (line.size() - pos >= 3 && IsEnd(line.substr(pos, 3)) &&
      (line.size() - pos == 3 || IsBlank(line[pos + 3]))) {
    context_ = Context::kStatementLevel;
    return Words(line, pos + 3);
  }
  if (!buffer_.BeginRecord(statement_->command, statement_->subCommand)) {
    return ReadStatus::kNoMemory;
  }
  context_ = Context::kEntryLine;
  size_t at = pos;
  const ReadStatus status = DataWords(line, at);
  if (status != ReadStatus::kOk) return status;
  if (context_ == Context::kEntryLine) {
    context_ = Context::kEntryLines;  // the entry ends with its line
    return ReadStatus::kOk;
  }
  return Words(line, at);  // `end` closed the list; the rest is at statement level
}

ReadStatus ScriptReader::MessageLine(std::string_view line) {
  size_t pos = SkipBlanks(line, 0);
  const std::string_view rest = line.substr(pos);
  if (!rest.empty() && rest[0] == ';') return ReadStatus::kOk;
  if (StartsWithEnd(rest)) {
    context_ = Context::kStatementLevel;
    WarnIfText(rest.substr(3), "the 'end' of the message block");
    return ReadStatus::kOk;
  }
  // The message number: two hex digits. A blank line has none.
  if (rest.size() < 2) return ReadStatus::kNotHex;
  const uint8_t high = kHexValue[static_cast<unsigned char>(rest[0])];
  const uint8_t low = kHexValue[static_cast<unsigned char>(rest[1])];
  if ((high | low) > 0x0F) return ReadStatus::kNotHex;
  const unsigned number = (high << 4) | low;
  if (number < 0xFD) {
    pos = 2;
    for (int text = 0; text < 4; ++text) {
      pos = SkipBlanks(rest, pos);
      if (pos >= rest.size() || rest[pos] != '"') return ReadStatus::kInvalidValue;
      const size_t close = rest.find('"', pos + 1);
      if (close == std::string_view::npos) return ReadStatus::kInvalidValue;
      pos = close + 1;
    }
  }
  Warn(line_, [&] {
    return "message " + std::string(rest.substr(0, 2)) + " is checked but goes into no record";
  });
  return ReadStatus::kOk;
}

void ScriptReader::KatLine(std::string_view line) {
  const std::string_view rest = line.substr(SkipBlanks(line, 0));
  if (StartsWithEnd(rest)) {
    context_ = Context::kStatementLevel;
    WarnIfText(rest.substr(3), "the 'end' of the KAT block");
    return;
  }
  if (HasText(rest)) Warn(line_, [] { return std::string("KAT line goes into no record"); });
}

void ScriptReader::SkipLine(std::string_view line) {
  const size_t pos = SkipBlanks(line, 0);
  const size_t end = WordEnd(line, pos);
  const std::string_view first = line.substr(pos, end - pos);
  if (StartsWithEnd(first)) {
    context_ = Context::kStatementLevel;
    WarnIfText(line.substr(end), "the 'end' of " + Quoted(statement_->text));
    return;
  }
  if (HasText(line)) {
    Warn(line_, [&] {
      return "line skipped: " + Quoted(statement_->text) +
             " ignores every line up to one that begins with 'end'";
    });
  }
}

void ScriptReader::EndOfFile() {
  switch (context_) {
    case Context::kStatementLevel:
      return;
    case Context::kWords:
      Warn(statementLine_, [&] {
        return "statement " + Quoted(kPositionText[position_]) +
               " is incomplete at the end of the file; nothing is made of it";
      });
      return;
    case Context::kHexBody:
      Warn(statementLine_, [&] {
        return "the body of " + Quoted(statement_->text) +
               " has no 'end' before the end of the file";
      });
      return;
    case Context::kEntryHeadLine:
    case Context::kEntryLines:
    case Context::kEntryLine:
      Warn(statementLine_, [&] {
        return "the entry list of " + Quoted(statement_->text) +
               " has no 'end' before the end of the file";
      });
      return;
    case Context::kMessageBlock:
    case Context::kKatBlock:
    case Context::kSkipBlock:
      Warn(statementLine_, [&] {
        return "the block of " + Quoted(statement_->text) +
               " has no 'end' before the end of the file";
      });
      return;
  }
}

}  // namespace quassel
