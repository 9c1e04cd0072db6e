// The XML writer on Windows: XmlLite (xmllite.dll, a system DLL) into a stream in memory,
// encoded as UTF-8.
#include <windows.h>
// clang-format off
#include <objidl.h>
#include <xmllite.h>
// clang-format on

#include <string>

#include "batch/xml_writer.h"

namespace kavonel {
namespace {

template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  ~ComPtr() {
    if (p_ != nullptr) p_->Release();
  }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  T* operator->() const { return p_; }
  T* get() const { return p_; }
  T** out() { return &p_; }

 private:
  T* p_ = nullptr;
};

// Our texts are UTF-8; XmlLite takes UTF-16. Bytes that are not UTF-8 become U+FFFD.
std::wstring Wide(const std::string& text) {
  if (text.empty()) return {};
  const int size =
      MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), size);
  return wide;
}

// An attribute value with what XML needs escaped in it escaped, line breaks and tabs as
// character references so that a reader keeps them.
std::string EscapedAttribute(const std::string& value) {
  std::string escaped;
  for (char c : value) {
    switch (c) {
      case '&':
        escaped += "&amp;";
        break;
      case '<':
        escaped += "&lt;";
        break;
      case '>':
        escaped += "&gt;";
        break;
      case '"':
        escaped += "&quot;";
        break;
      case '\t':
        escaped += "&#9;";
        break;
      case '\n':
        escaped += "&#10;";
        break;
      case '\r':
        escaped += "&#13;";
        break;
      default:
        escaped += c;
    }
  }
  return escaped;
}

class XmlLiteWriter final : public XmlWriter {
 public:
  // escapeAttributes: escape attribute values here, for an XmlLite that writes them as
  // they come.
  explicit XmlLiteWriter(bool escapeAttributes) : escapeAttributes_(escapeAttributes) {
    ComPtr<IUnknown> output;
    ok_ = SUCCEEDED(CreateStreamOnHGlobal(nullptr, TRUE, stream_.out())) &&
          SUCCEEDED(CreateXmlWriter(__uuidof(IXmlWriter), reinterpret_cast<void**>(writer_.out()),
                                    nullptr)) &&
          SUCCEEDED(CreateXmlWriterOutputWithEncodingName(stream_.get(), nullptr, L"UTF-8",
                                                          output.out())) &&
          SUCCEEDED(writer_->SetOutput(output.get()));
    if (!ok_) return;
    Check(writer_->SetProperty(XmlWriterProperty_Indent, TRUE));
    Check(writer_->WriteStartDocument(XmlStandalone_Omit));
  }
  bool Ok() const { return ok_; }

  void StartElement(const char* name) override {
    if (ok_) Check(writer_->WriteStartElement(nullptr, Wide(name).c_str(), nullptr));
  }
  void Attribute(const char* name, const std::string& value) override {
    if (ok_) {
      Check(writer_->WriteAttributeString(
          nullptr, Wide(name).c_str(), nullptr,
          Wide(escapeAttributes_ ? EscapedAttribute(value) : value).c_str()));
    }
  }
  void Text(const std::string& text) override {
    if (ok_) Check(writer_->WriteString(Wide(text).c_str()));
  }
  void EndElement() override {
    if (ok_) Check(writer_->WriteEndElement());
  }

  std::string Finish() override {
    if (!ok_) return {};
    Check(writer_->WriteEndDocument());
    Check(writer_->Flush());
    STATSTG stat{};
    HGLOBAL memory = nullptr;
    if (!ok_ || FAILED(stream_->Stat(&stat, STATFLAG_NONAME)) ||
        FAILED(GetHGlobalFromStream(stream_.get(), &memory))) {
      return {};
    }
    const char* bytes = static_cast<const char*>(GlobalLock(memory));
    if (bytes == nullptr) return {};
    std::string document(bytes, static_cast<size_t>(stat.cbSize.QuadPart));
    GlobalUnlock(memory);
    // XmlLite starts a UTF-8 document with a byte-order mark; the Linux writer does not,
    // and the reports of both platforms are meant to be read alike.
    if (document.compare(0, 3, "\xEF\xBB\xBF") == 0) document.erase(0, 3);
    // XmlLite indents with CRLF; the program's files end their lines in a bare LF on every
    // platform. An XML reader reads every CRLF as LF anyway, so the document means the
    // same. It ends with a line break, as the Linux writer ends it.
    std::string lines;
    lines.reserve(document.size() + 1);
    for (size_t i = 0; i < document.size(); ++i) {
      if (document[i] == '\r' && i + 1 < document.size() && document[i + 1] == '\n') continue;
      lines += document[i];
    }
    if (!lines.empty() && lines.back() != '\n') lines += '\n';
    document.swap(lines);
    ok_ = false;
    return document;
  }

 private:
  void Check(HRESULT result) {
    if (FAILED(result)) ok_ = false;
  }
  ComPtr<IStream> stream_;
  ComPtr<IXmlWriter> writer_;
  const bool escapeAttributes_;
  bool ok_ = false;
};

// Windows' XmlLite escapes attribute values itself; Wine's (8.0) writes them as they
// come, which makes a script path with '&' in it a broken document. Which one this is
// shows in a document of one attribute, made once.
bool WritesAttributesAsTheyCome() {
  XmlLiteWriter probe(false);
  probe.StartElement("p");
  probe.Attribute("a", "&");
  probe.EndElement();
  const std::string document = probe.Finish();
  return document.find("a=\"&\"") != std::string::npos;
}

}  // namespace

std::unique_ptr<XmlWriter> MakeXmlWriter() {
  static const bool escapeAttributes = WritesAttributesAsTheyCome();
  auto writer = std::make_unique<XmlLiteWriter>(escapeAttributes);
  if (!writer->Ok()) return nullptr;
  return writer;
}

}  // namespace kavonel
