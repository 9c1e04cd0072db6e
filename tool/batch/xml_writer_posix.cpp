// The XML writer on Linux: libxml2's text writer into a memory buffer.
#include <libxml/xmlwriter.h>

#include "batch/xml_writer.h"

namespace kavonel {
namespace {

const xmlChar* X(const char* text) {
  return reinterpret_cast<const xmlChar*>(text);
}

class LibXml2Writer final : public XmlWriter {
 public:
  LibXml2Writer()
      : buffer_(xmlBufferCreate()),
        writer_(buffer_ != nullptr ? xmlNewTextWriterMemory(buffer_, 0) : nullptr) {
    if (writer_ == nullptr) return;
    Check(xmlTextWriterSetIndent(writer_, 1));
    Check(xmlTextWriterStartDocument(writer_, nullptr, "UTF-8", nullptr));
  }
  ~LibXml2Writer() override {
    if (writer_ != nullptr) xmlFreeTextWriter(writer_);
    if (buffer_ != nullptr) xmlBufferFree(buffer_);
  }
  bool Ok() const { return writer_ != nullptr && ok_; }

  void StartElement(const char* name) override {
    Check(xmlTextWriterStartElement(writer_, X(name)));
  }
  void Attribute(const char* name, const std::string& value) override {
    Check(xmlTextWriterWriteAttribute(writer_, X(name), X(value.c_str())));
  }
  void Text(const std::string& text) override {
    Check(xmlTextWriterWriteString(writer_, X(text.c_str())));
  }
  void EndElement() override { Check(xmlTextWriterEndElement(writer_)); }

  std::string Finish() override {
    if (writer_ == nullptr) return {};
    Check(xmlTextWriterEndDocument(writer_));
    // Freeing the writer flushes what it still holds into the buffer.
    xmlFreeTextWriter(writer_);
    writer_ = nullptr;
    if (!ok_) return {};
    return std::string(reinterpret_cast<const char*>(xmlBufferContent(buffer_)),
                       static_cast<size_t>(xmlBufferLength(buffer_)));
  }

 private:
  void Check(int result) {
    if (result < 0) ok_ = false;
  }
  xmlBufferPtr buffer_;
  xmlTextWriterPtr writer_;
  bool ok_ = true;
};

}  // namespace

std::unique_ptr<XmlWriter> MakeXmlWriter() {
  auto writer = std::make_unique<LibXml2Writer>();
  if (!writer->Ok()) return nullptr;
  return writer;
}

}  // namespace kavonel
