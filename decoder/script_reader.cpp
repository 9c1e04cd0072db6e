#include "script_reader.h"

#include <array>

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

bool IsBlank(char c) { return kBlank[static_cast<unsigned char>(c)]; }

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

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

bool IsEnd(std::string_view word) { return EqualsKeyword(word, "end"); }

const Step* FindStep(uint8_t from, std::string_view word) {
  if (word.size() > 17) return nullptr;  // longer than any keyword
  for (const Step& step : kSteps) {
    if (step.from == from && EqualsKeyword(word, step.word)) return &step;
  }
  return nullptr;
}

// A word as shown in a warning: long ones are cut.
std::string Quoted(std::string_view word) {
  constexpr size_t kShown = 40;
  std::string text = "'";
  if (word.size() > kShown) {
    text.append(word.substr(0, kShown));
    text.append("...");
  } else {
    text.append(word);
  }
  text.push_back('\'');
  return text;
}

// True when text holds anything but blanks and a trailing comment.
bool HasText(std::string_view text) {
  const size_t pos = SkipBlanks(text, 0);
  return pos < text.size() && text[pos] != ';';
}

}  // namespace

void ScriptReader::Warn(uint32_t line, std::string message) {
  if (diagnostics_.size() < kMaxDiagnostics) {
    diagnostics_.push_back(Diagnostic{line, std::move(message)});
  } else {
    ++suppressed_;
  }
}

void ScriptReader::CloseDiagnostics() {
  if (suppressed_ == 0) return;
  diagnostics_.push_back(
      Diagnostic{line_, std::to_string(suppressed_) + " more warnings not listed"});
  suppressed_ = 0;
}

void ScriptReader::WarnIfText(std::string_view rest, const std::string& what) {
  if (HasText(rest)) Warn(line_, "text after " + what + " on this line is ignored");
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
          Warn(line_, IsEnd(word) ? "'end' outside any body is skipped"
                                  : Quoted(word) + " is not a statement and is skipped");
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
      case Context::kHexBody:
      case Context::kEntryLine: {
        if (IsEnd(word)) {
          context_ = Context::kStatementLevel;
          break;
        }
        const ReadStatus status = AppendWord(word);
        if (status != ReadStatus::kOk) return status;
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

ReadStatus ScriptReader::AppendWord(std::string_view word) {
  if (word.size() % 2 != 0) return ReadStatus::kInvalidValue;
  const size_t count = word.size() / 2;
  // The record's 16-bit length field cannot count past kMaxRecordData.
  if (count > kMaxRecordData - buffer_.CurrentDataLength()) return ReadStatus::kInvalidValue;
  uint8_t* out = buffer_.AppendData(count);
  if (out == nullptr) return ReadStatus::kNoMemory;
  const auto* digits = reinterpret_cast<const unsigned char*>(word.data());
  for (size_t i = 0; i < count; ++i) {
    const uint8_t high = kHexValue[digits[2 * i]];
    const uint8_t low = kHexValue[digits[2 * i + 1]];
    if ((high | low) > 0x0F) return ReadStatus::kNotHex;
    out[i] = static_cast<uint8_t>((high << 4) | low);
  }
  return ReadStatus::kOk;
}

ReadStatus ScriptReader::EntryLine(std::string_view line) {
  const size_t pos = SkipBlanks(line, 0);
  if (pos >= line.size() || line[pos] == ';') return ReadStatus::kOk;
  const size_t end = WordEnd(line, pos);
  if (IsEnd(line.substr(pos, end - pos))) {
    context_ = Context::kStatementLevel;
    return Words(line, end);
  }
  if (!buffer_.BeginRecord(statement_->command, statement_->subCommand)) {
    return ReadStatus::kNoMemory;
  }
  context_ = Context::kEntryLine;
  return Words(line, pos);
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
  std::string numberText(rest.substr(0, 2));
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
  Warn(line_, "message " + numberText + " is checked but goes into no record");
  return ReadStatus::kOk;
}

void ScriptReader::KatLine(std::string_view line) {
  const std::string_view rest = line.substr(SkipBlanks(line, 0));
  if (StartsWithEnd(rest)) {
    context_ = Context::kStatementLevel;
    WarnIfText(rest.substr(3), "the 'end' of the KAT block");
    return;
  }
  if (HasText(rest)) Warn(line_, "KAT line goes into no record");
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
    Warn(line_, "line skipped: " + Quoted(statement_->text) +
                    " ignores every line up to one that begins with 'end'");
  }
}

void ScriptReader::EndOfFile() {
  switch (context_) {
    case Context::kStatementLevel:
      return;
    case Context::kWords:
      Warn(statementLine_, "statement " + Quoted(kPositionText[position_]) +
                               " is incomplete at the end of the file; nothing is made of it");
      return;
    case Context::kHexBody:
      Warn(statementLine_, "the body of " + Quoted(statement_->text) +
                               " has no 'end' before the end of the file");
      return;
    case Context::kEntryHeadLine:
    case Context::kEntryLines:
    case Context::kEntryLine:
      Warn(statementLine_, "the entry list of " + Quoted(statement_->text) +
                               " has no 'end' before the end of the file");
      return;
    case Context::kMessageBlock:
    case Context::kKatBlock:
    case Context::kSkipBlock:
      Warn(statementLine_, "the block of " + Quoted(statement_->text) +
                               " has no 'end' before the end of the file");
      return;
  }
}

}  // namespace quassel
