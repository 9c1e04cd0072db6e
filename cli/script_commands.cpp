#include "script_commands.h"

#include <cstdio>
#include <nlohmann/json.hpp>
#include <span>

#include "data_dictionary.h"
#include "decoder.h"
#include "link/frame.h"
#include "operations/operation_texts.h"
#include "script_checks.h"
#include "script_explain.h"

namespace kavonel {
namespace {

std::string HexOf(std::span<const uint8_t> bytes) {
  std::string out;
  out.reserve(bytes.size() * 3);
  static const char kDigits[] = "0123456789abcdef";
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (i != 0) out += ' ';
    out += kDigits[bytes[i] >> 4];
    out += kDigits[bytes[i] & 0xF];
  }
  return out;
}

std::string WithoutTrailingBreak(std::string text) {
  while (!text.empty() && text.back() == '\n') text.pop_back();
  return text;
}

// A load that failed, as FILE:LINE: error: TEXT (or FILE: error: TEXT without a line).
void PrintLoadError(const std::string& path, const quassel::LoadResult& load) {
  if (load.result == quassel::kScriptFormatError && load.errorLine != 0) {
    std::fprintf(stderr, "%s:%u: error: %s\n", path.c_str(), load.errorLine,
                 WithoutTrailingBreak(DecoderResultText(load.detailCode)).c_str());
  } else {
    std::fprintf(stderr, "%s: error: %s\n", path.c_str(),
                 WithoutTrailingBreak(DecoderResultText(load.result)).c_str());
  }
}

// A script decoded with the line of each of its bytes.
struct LoadedScript {
  quassel::Decoder decoder;
  std::vector<uint32_t> lineEnds;
  quassel::LoadResult load;

  explicit LoadedScript(const std::string& path) {
    decoder.SetLineEnds(&lineEnds);
    load = decoder.LoadFile(path);
  }
  emv::LineMap Lines() const { return emv::LineMap(lineEnds); }
};

}  // namespace

// Diagnostics as FILE:LINE: message on standard error (compilers' way, so editors can
// jump to them): the decoder's first, then what the data says, in line order.
int RunLint(const std::string& path, bool records, bool strict) {
  LoadedScript script(path);
  const quassel::Decoder& decoder = script.decoder;
  for (const quassel::Diagnostic& d : decoder.Diagnostics()) {
    std::fprintf(stderr, "%s:%u: warning: %s\n", path.c_str(), d.line, d.message.c_str());
  }
  if (script.load.result != quassel::kOk) {
    PrintLoadError(path, script.load);
    return 2;
  }
  // A record the script frame buffer cannot take would end a run as a script error.
  const std::vector<quassel::RecordView> views = decoder.Records();
  size_t index = 0;
  for (const quassel::RecordView& record : views) {
    ++index;
    if (record.bytes.size() > kMaxScriptRecordSize) {
      std::fprintf(
          stderr, "%s: error: record %zu (%s) has %zu bytes, more than a frame takes (%zu)\n",
          path.c_str(), index, CommandDisplayText(record.command, record.subCommand).c_str(),
          record.bytes.size(), static_cast<size_t>(kMaxScriptRecordSize));
      return 2;
    }
  }
  const emv::CheckResult checks = emv::CheckScript(views, decoder.Bytes(), script.Lines());
  for (const emv::Finding& f : checks.findings) {
    std::fprintf(stderr, "%s:%u: warning: %s\n", path.c_str(), f.line, f.message.c_str());
  }
  if (checks.notListed != 0) {
    std::fprintf(stderr, "%s:%u: warning: %zu more warnings on the data not listed\n",
                 path.c_str(), checks.findings.empty() ? 0u : checks.findings.back().line,
                 checks.notListed);
  }
  if (records) {
    index = 0;
    for (const quassel::RecordView& record : views) {
      std::printf("%zu: %s: %s\n", ++index,
                  CommandDisplayText(record.command, record.subCommand).c_str(),
                  HexOf(record.bytes).c_str());
    }
  }
  const bool warned = !decoder.Diagnostics().empty() || !checks.findings.empty();
  return strict && warned ? 1 : 0;
}

int RunExplain(const std::string& path, bool json) {
  LoadedScript script(path);
  if (script.load.result != quassel::kOk) {
    PrintLoadError(path, script.load);
    return 2;
  }
  const std::vector<quassel::RecordView> views = script.decoder.Records();
  const std::vector<emv::ExplainedRecord> explained =
      emv::ExplainScript(views, script.decoder.Bytes(), script.Lines());
  const std::string text = json ? emv::ExplainJson(explained).dump(
                                      2, ' ', false, nlohmann::json::error_handler_t::replace) +
                                      "\n"
                                : emv::ExplainText(explained);
  std::fwrite(text.data(), 1, text.size(), stdout);
  return 0;
}

int RunTags(const std::vector<std::string>& tags, bool json) {
  std::vector<const emv::TagInfo*> chosen;
  int status = 0;
  if (tags.empty()) {
    for (const emv::TagInfo& info : emv::Dictionary()) chosen.push_back(&info);
  }
  for (const std::string& text : tags) {
    const std::optional<uint32_t> tag = emv::ParseTag(text);
    const emv::TagInfo* info = tag ? emv::FindTag(*tag) : nullptr;
    if (info == nullptr) {
      std::fprintf(stderr, "kavonel-cli: %s: not in the data dictionary\n", text.c_str());
      status = 1;
      continue;
    }
    chosen.push_back(info);
  }
  if (json) {
    nlohmann::json out = nlohmann::json::array();
    for (const emv::TagInfo* info : chosen) {
      out.push_back({{"tag", emv::TagText(info->tag)},
                     {"name", info->name},
                     {"format", emv::FormatName(info->format)},
                     {"min_length", info->minLength},
                     {"max_length", info->maxLength == emv::kNoUpperBound
                                        ? nlohmann::json(nullptr)
                                        : nlohmann::json(info->maxLength)}});
    }
    std::printf("%s\n", out.dump(2).c_str());
    return status;
  }
  for (const emv::TagInfo* info : chosen) {
    std::printf("%-7s %-4s %-11s %s\n", emv::TagText(info->tag).c_str(),
                emv::FormatName(info->format), emv::LengthText(*info).c_str(), info->name);
  }
  return status;
}

}  // namespace kavonel
