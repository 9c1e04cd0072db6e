// fuzz_status_answers: whatever a reader answers to the script run's commands and to the
// requests of the three buttons. Input: byte 0 picks the operation (script run, check,
// reset, reboot); then, in the order the requests go out, each answer as a length byte
// (0 to 32) and its bytes. A request with no answer left stays unanswered. Checks: the
// verdict or status follows from the answers alone (fewer than 16 bytes: no
// communication; otherwise byte 11 is the status, whatever the rest says), the monitor
// shows exactly the frames and results, every monitor piece fits its buffer.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "library_state.h"
#include "link/frame.h"
#include "monitor/monitor_text.h"
#include "operations/operation_texts.h"
#include "operations/operations.h"
#include "operations/tests/expected_dump.h"
#include "operations/tests/fake_reader.h"
#include "operations/tests/recording_view.h"

using namespace kavonel;
using kavonel::testing::Bytes;

namespace {

// Four records of the kinds a real script has, one per request.
constexpr char kScript[] =
    "pollmode set 01 end\n"
    "configuration set 9F1A 02 0840 end\n"
    "revocation list add\nA000000003 99 123456\nend\n"
    "group set FFE4 01 00 end\n";
constexpr size_t kScriptRecords = 4;

using Operation = int (*)(MainView&, ComPort&, const ReaderSettings&);
struct Button {
  Operation operation;
  const ButtonOperationTexts* texts;
};
const Button kButtons[] = {{&CheckReaderConnection, &kCheckConnectionTexts},
                           {&ResetConfigurationToDefault, &kResetToDefaultTexts},
                           {&RebootReader, &kRebootReaderTexts}};

bool Answered(const std::vector<Bytes>& answers, size_t index) {
  return index < answers.size() && answers[index].size() >= kResponseHeadSize;
}

std::string ResponseDump(const Bytes& answer) {
  return testing::ExpectedDumpOf(answer.data(), kResponseHeadSize, false);
}

void CheckPieces(const testing::RecordingView& view) {
  for (const std::string& piece : view.Calls("monitor:")) {
    fuzz::Check(piece.size() <= kMonitorTextLimit);
  }
}

void CheckScriptRun(const std::string& path, const std::vector<Bytes>& answers,
                    testing::FakeReader& reader) {
  testing::RecordingView view;
  view.choice = {ScriptChoice::kChosen, path};
  const RunVerdict verdict = RunConfigurationScript(view, reader.port, ReaderSettings{});

  RunVerdict expected = VERDICT_COMPLETED;
  std::string monitor =
      "\n\n[CFG Decoder] " + path.substr(path.rfind('/') + 1) + ":- Script decoded successfully\n";
  fuzz::Check(reader.requests.size() <= kScriptRecords);
  for (size_t i = 0; i < reader.requests.size(); ++i) {
    const Bytes& request = reader.requests[i];
    monitor += "\n\n\n" + CommandDisplayText(request[10], request[11]) + "\n" +
               testing::ExpectedDump(request, true);
    if (!Answered(answers, i)) {
      monitor += std::string("\n") + texts::kUnableToCommunicate;
      expected = VERDICT_COMM_ERROR;
      break;
    }
    const uint8_t status = answers[i][kStatusOffset];
    monitor += ResponseDump(answers[i]) + "Result:" + ReaderStatusText(status) + "\n";
    if (status != 0) expected = VERDICT_NOT_ALL_CONFIGURED;
  }
  // Every command goes out until one is not answered.
  fuzz::Check(reader.requests.size() == kScriptRecords || expected == VERDICT_COMM_ERROR);
  fuzz::Check(verdict == expected);
  fuzz::Check(view.monitor == monitor);
  fuzz::Check(view.Calls("status:") == std::vector<std::string>{RunVerdictReporterText(expected)});
  CheckPieces(view);
}

void CheckButton(const Button& button, const std::vector<Bytes>& answers,
                 testing::FakeReader& reader) {
  testing::RecordingView view;
  const int result = button.operation(view, reader.port, ReaderSettings{});
  const ButtonOperationTexts& texts = *button.texts;

  fuzz::Check(reader.requests.size() == 1);
  std::string monitor = testing::ExpectedDump(reader.requests[0], true);
  std::vector<std::string> shown;
  if (!Answered(answers, 0)) {
    fuzz::Check(result == -1);
    monitor += std::string(texts.emptyLineBeforeFailure ? "\n" : "") + texts::kUnableToCommunicate;
  } else {
    const uint8_t status = answers[0][kStatusOffset];
    fuzz::Check(result == status);
    monitor += ResponseDump(answers[0]);
    for (const char* piece : status == 0 ? texts.successMonitor : texts.failureMonitor) {
      if (piece != nullptr) monitor += piece;
    }
    shown.emplace_back(status == 0 ? texts.successStatus : texts.failureReporter);
  }
  fuzz::Check(view.monitor == monitor);
  fuzz::Check(view.Calls("status:") == shown);
  CheckPieces(view);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static fuzz::ScratchFile script("fuzz_status_answers.txt");
  static const std::string& path = script.Write(kScript);
  fuzz::Input input(data, size);
  const uint8_t operation = input.Byte() % 4;
  std::vector<Bytes> answers;
  while (!input.Empty()) {
    const std::string_view answer = input.Bytes(input.Byte() % 33);
    answers.emplace_back(answer.begin(), answer.end());
  }

  testing::FakeReader reader;
  for (const Bytes& answer : answers) reader.replies.emplace_back(answer);
  if (operation == 0) {
    CheckScriptRun(path, answers, reader);
    fuzz::ReleaseLibraryState();
  } else {
    CheckButton(kButtons[operation - 1], answers, reader);
  }
  // The port is closed whatever happened.
  fuzz::Check(!reader.port.IsOpen());
  return 0;
}
