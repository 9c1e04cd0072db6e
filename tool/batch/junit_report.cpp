// The report as JUnit XML, one test case per reader: the document's shape, written once
// for every platform over its own XML writer (xml_writer.h).
#include <cstdio>

#include "batch/batch_report.h"
#include "batch/xml_writer.h"

namespace kavonel {
namespace {

void Property(XmlWriter& w, const std::string& name, const std::string& value) {
  w.StartElement("property");
  w.Attribute("name", name);
  w.Attribute("value", value);
  w.EndElement();
}

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
  const std::unique_ptr<XmlWriter> writer = MakeXmlWriter();
  if (!writer) return {};
  XmlWriter& w = *writer;
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
  w.StartElement("testsuites");
  w.Attribute("name", report.tool);
  w.Attribute("tests", tests);
  w.Attribute("failures", std::to_string(failures));
  w.Attribute("errors", std::to_string(errors));
  w.Attribute("time", suiteTime);
  w.StartElement("testsuite");
  w.Attribute("name", report.scriptPath);
  w.Attribute("tests", tests);
  w.Attribute("failures", std::to_string(failures));
  w.Attribute("errors", std::to_string(errors));
  w.Attribute("skipped", "0");
  w.Attribute("time", suiteTime);
  w.Attribute("timestamp", IsoTime(report.started));
  w.Attribute("hostname", report.host);
  w.StartElement("properties");
  Property(w, "script", report.scriptPath);
  Property(w, "sha256", report.scriptSha256);
  Property(w, "commands", std::to_string(report.scriptCommands));
  Property(w, "tool", report.tool);
  Property(w, "exit_status", std::to_string(report.exitStatus));
  w.EndElement();
  for (const ReaderResult& r : report.readers) {
    w.StartElement("testcase");
    w.Attribute("name", r.port);
    w.Attribute("classname", "kavonel.reader");
    w.Attribute("time", Seconds(r.duration));
    w.Attribute("timestamp", IsoTime(r.started));
    if (const char* kind = JUnitKind(r)) {
      w.StartElement(kind);
      w.Attribute("message", r.verdictText);
      w.Attribute("type", OutcomeName(r.outcome));
      std::string detail = "exit status " + std::to_string(r.exitStatus) + ", " +
                           std::to_string(r.commandsOk) + " of " + std::to_string(r.commandsTotal) +
                           " commands answered OK";
      if (r.firstFailure) {
        detail += "; first failure: command " + std::to_string(r.firstFailure->index + 1) + " (" +
                  r.firstFailure->name + "): " + r.firstFailure->statusText;
      }
      if (r.abandoned) detail += "; abandoned";
      w.Text(detail);
      w.EndElement();
    }
    w.StartElement("system-out");
    w.Text("trace: " + r.tracePath + "\n");
    w.EndElement();
    w.EndElement();
  }
  w.EndElement();
  w.EndElement();
  return w.Finish();
}

}  // namespace kavonel
