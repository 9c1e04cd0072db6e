// The report as JUnit XML, one test case per reader, through libxml2's writer (which
// escapes and encodes every text and attribute).
#include <libxml/xmlwriter.h>

#include <memory>

#include "batch/batch_report.h"

namespace kavonel {
namespace {

const xmlChar* X(const char* text) {
  return reinterpret_cast<const xmlChar*>(text);
}

class Writer {
 public:
  explicit Writer(xmlBufferPtr buffer) : writer_(xmlNewTextWriterMemory(buffer, 0)) {}
  ~Writer() {
    if (writer_ != nullptr) xmlFreeTextWriter(writer_);
  }
  bool ok() const { return writer_ != nullptr && ok_; }
  void Start(const char* name) { Check(xmlTextWriterStartElement(writer_, X(name))); }
  void End() { Check(xmlTextWriterEndElement(writer_)); }
  void Attribute(const char* name, const std::string& value) {
    Check(xmlTextWriterWriteAttribute(writer_, X(name), X(value.c_str())));
  }
  void Text(const std::string& text) { Check(xmlTextWriterWriteString(writer_, X(text.c_str()))); }
  void Property(const std::string& name, const std::string& value) {
    Start("property");
    Attribute("name", name);
    Attribute("value", value);
    End();
  }
  void Document(bool start) {
    Check(start ? xmlTextWriterStartDocument(writer_, nullptr, "UTF-8", nullptr)
                : xmlTextWriterEndDocument(writer_));
  }
  void Indent() { Check(xmlTextWriterSetIndent(writer_, 1)); }

 private:
  void Check(int result) {
    if (result < 0) ok_ = false;
  }
  xmlTextWriterPtr writer_;
  bool ok_ = true;
};

std::string Seconds(std::chrono::milliseconds duration) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", static_cast<double>(duration.count()) / 1000.0);
  return text;
}

// Passed, failed (the reader answered but is not configured as asked) or in error
// (no usable answer at all).
const char* JUnitKind(const ReaderResult& r) {
  if (r.exitStatus == 0) return nullptr;
  return r.exitStatus == 1 ? "failure" : "error";
}

}  // namespace

bool HaveJUnitWriter() {
  return true;
}

std::string ReportJUnit(const BatchReport& report) {
  std::unique_ptr<xmlBuffer, void (*)(xmlBufferPtr)> buffer(xmlBufferCreate(), &xmlBufferFree);
  if (!buffer) return {};
  size_t failures = 0, errors = 0;
  std::chrono::milliseconds total{0};
  for (const ReaderResult& r : report.readers) {
    const char* kind = JUnitKind(r);
    if (kind != nullptr && kind[0] == 'f') ++failures;
    if (kind != nullptr && kind[0] == 'e') ++errors;
    total += r.duration;
  }
  const std::string tests = std::to_string(report.readers.size());
  const std::string suiteTime = report.ended
                                    ? Seconds(std::chrono::duration_cast<std::chrono::milliseconds>(
                                          *report.ended - report.started))
                                    : Seconds(total);
  {
    Writer w(buffer.get());
    w.Indent();
    w.Document(true);
    w.Start("testsuites");
    w.Attribute("name", report.tool);
    w.Attribute("tests", tests);
    w.Attribute("failures", std::to_string(failures));
    w.Attribute("errors", std::to_string(errors));
    w.Attribute("time", suiteTime);
    w.Start("testsuite");
    w.Attribute("name", report.scriptPath);
    w.Attribute("tests", tests);
    w.Attribute("failures", std::to_string(failures));
    w.Attribute("errors", std::to_string(errors));
    w.Attribute("skipped", "0");
    w.Attribute("time", suiteTime);
    w.Attribute("timestamp", IsoTime(report.started));
    w.Attribute("hostname", report.host);
    w.Start("properties");
    w.Property("script", report.scriptPath);
    w.Property("sha256", report.scriptSha256);
    w.Property("commands", std::to_string(report.scriptCommands));
    w.Property("tool", report.tool);
    w.Property("exit_status", std::to_string(report.exitStatus));
    w.End();
    for (const ReaderResult& r : report.readers) {
      w.Start("testcase");
      w.Attribute("name", r.port);
      w.Attribute("classname", "kavonel.reader");
      w.Attribute("time", Seconds(r.duration));
      w.Attribute("timestamp", IsoTime(r.started));
      if (const char* kind = JUnitKind(r)) {
        w.Start(kind);
        w.Attribute("message", r.verdictText);
        w.Attribute("type", OutcomeName(r.outcome));
        std::string detail = "exit status " + std::to_string(r.exitStatus) + ", " +
                             std::to_string(r.commandsOk) + " of " +
                             std::to_string(r.commandsTotal) + " commands answered OK";
        if (r.firstFailure) {
          detail += "; first failure: command " + std::to_string(r.firstFailure->index + 1) + " (" +
                    r.firstFailure->name + "): " + r.firstFailure->statusText;
        }
        if (r.abandoned) detail += "; abandoned";
        w.Text(detail);
        w.End();
      }
      w.Start("system-out");
      w.Text("trace: " + r.tracePath + "\n");
      w.End();
      w.End();
    }
    w.End();
    w.End();
    w.Document(false);
    if (!w.ok()) return {};
  }
  return std::string(reinterpret_cast<const char*>(xmlBufferContent(buffer.get())),
                     static_cast<size_t>(xmlBufferLength(buffer.get())));
}

}  // namespace kavonel
