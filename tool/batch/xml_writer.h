// A streaming XML writer, the platform's own: libxml2's text writer on Linux, XmlLite on
// Windows (one file each). Each escapes and encodes every text and attribute; what the
// documents hold is defined once, over this interface.
#pragma once

#include <memory>
#include <string>

namespace kavonel {

class XmlWriter {
 public:
  virtual ~XmlWriter() = default;
  virtual void StartElement(const char* name) = 0;
  virtual void Attribute(const char* name, const std::string& value) = 0;
  virtual void Text(const std::string& text) = 0;
  virtual void EndElement() = 0;
  // The whole document, UTF-8, indented, with its XML declaration; empty when any step
  // failed. Once.
  virtual std::string Finish() = 0;
};

// A writer for one document; nullptr when the platform cannot make one.
std::unique_ptr<XmlWriter> MakeXmlWriter();

}  // namespace kavonel
