// The script reader: the language's state machine, fed one physical line at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "command_buffer.h"
#include "decoder.h"

namespace quassel {

inline constexpr size_t kLineSlack = 16;

enum class ReadStatus : uint8_t {
  kOk,
  kCommandFormat,  // a statement word where another was expected (detail 0x20000010)
  kInvalidValue,   // odd digit count, bad quoting, record too long (detail 0x20000011)
  kNotHex,         // a pair that is not two hex digits (detail 0x20000012)
  kNoMemory,       // the buffer could not grow
};

class ScriptReader {
 public:
  ScriptReader(CommandBuffer& buffer, std::vector<Diagnostic>& diagnostics);

  // Decodes one physical line, without its line feed; the line counter counts it.
  // kLineSlack bytes past the line's end must be readable: data words are read sixteen
  // bytes at a time, and what lies past the end is masked off.
  ReadStatus Line(std::string_view line);
  // The file has ended: notes a statement, body or block left open.
  void EndOfFile();
  // Adds the note on warnings beyond the cap; call once when the load is over.
  void CloseDiagnostics();
  uint32_t LineNumber() const { return line_; }

  // Where the reader stands between lines.
  enum class Context : uint8_t {
    kStatementLevel,
    kWords,  // between the words of a statement
    kHexBody,
    kEntryHeadLine,  // rest of an entry-list statement's own line
    kEntryLines,     // waiting for the next entry line
    kEntryLine,      // inside an entry line
    kMessageBlock,
    kKatBlock,
    kSkipBlock,
  };

  struct Statement;

 private:
  ReadStatus Words(std::string_view line, size_t pos);
  ReadStatus StartStatement(const Statement& statement, std::string_view line, size_t pos);
  ReadStatus DataWords(std::string_view line, size_t& pos);
  bool HexRun(std::string_view line, size_t& pos);
  ReadStatus BadDataWord(std::string_view word);
  ReadStatus EntryLine(std::string_view line);
  ReadStatus MessageLine(std::string_view line);
  void KatLine(std::string_view line);
  void SkipLine(std::string_view line);
  void WarnIfText(std::string_view rest, const std::string& what);
  // Keeps a warning while the list has room; beyond it only counts it, without making
  // its text (a script of nothing but unknown words would otherwise pay for each).
  template <typename MakeText>
  void Warn(uint32_t line, const MakeText& makeText) {
    if (diagnostics_.size() < kMaxDiagnostics) {
      diagnostics_.push_back(Diagnostic{line, makeText()});
    } else {
      ++suppressed_;
    }
  }

  CommandBuffer& buffer_;
  std::vector<Diagnostic>& diagnostics_;
  size_t suppressed_ = 0;
  uint32_t line_ = 0;
  Context context_ = Context::kStatementLevel;
  uint8_t position_ = 0;                  // word position while in kWords
  const Statement* statement_ = nullptr;  // the statement whose body is open
  std::vector<uint8_t> nibbles_;          // scratch of HexRun
  bool sixteen_ = false;                  // the processor decodes sixteen at a time
  uint32_t statementLine_ = 0;            // line of that statement's first word
};

}  // namespace quassel
