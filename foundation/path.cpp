#include "foundation/path.h"

#include "text/unicode.h"

ZR_Path::ZR_Path(const wchar_t* text) {
  if (text != nullptr) text_ = WideToUtf8(text);
}

std::string ZR_Path::ConvertFromOtherType(const std::wstring& text) { return WideToUtf8(text); }

std::wstring ZR_Path::ConvertToOtherType(const std::string& text) {
  std::wstring wide;
  if (!ReadUtf8String(wide, text.c_str())) wide = AnsiToWide(text);
  return wide;
}

ZR_Path& ZR_Path::operator=(const std::string& text) {
  text_ = text;
  return *this;
}

ZR_Path& ZR_Path::operator=(const char* text) {
  text_ = text != nullptr ? text : "";
  return *this;
}

ZR_Path& ZR_Path::operator=(const std::wstring& text) {
  text_ = WideToUtf8(text);
  return *this;
}

ZR_Path& ZR_Path::operator=(const wchar_t* text) { return *this = ZR_Path(text); }

ZR_Path& ZR_Path::operator+=(const std::wstring& text) {
  text_ += WideToUtf8(text);
  return *this;
}

ZR_Path& ZR_Path::operator+=(const wchar_t* text) { return *this += ZR_Path(text); }

ZR_Path& ZR_Path::operator+=(const ZR_Path& other) {
  text_ += other.text_;
  return *this;
}

ZR_Path& ZR_Path::operator+=(const std::string& text) {
  text_ += text;
  return *this;
}

ZR_Path& ZR_Path::operator+=(const char* text) {
  if (text != nullptr) text_ += text;
  return *this;
}

void ZR_Path::AddTrailingPathDivider() { text_ = IncludeTrailingPathDelimiter(text_); }

ZR_Path ZR_Path::ExtractFilePath() const {
  const std::string::size_type slash = text_.rfind('/');
  return slash == std::string::npos ? ZR_Path() : ZR_Path(text_.substr(0, slash + 1));
}

ZR_Path ZR_Path::ExtractFileName() const {
  const std::string::size_type slash = text_.rfind('/');
  return slash == std::string::npos ? *this : ZR_Path(text_.substr(slash + 1));
}

std::string::size_type ZR_Path::ExtensionStart() const {
  const std::string::size_type dot = text_.rfind('.');
  if (dot == std::string::npos) return dot;
  return text_.find('/', dot) == std::string::npos ? dot : std::string::npos;
}

ZR_Path ZR_Path::ExtractExtension() const {
  const std::string::size_type dot = ExtensionStart();
  return dot == std::string::npos ? ZR_Path() : ZR_Path(text_.substr(dot));
}

ZR_Path ZR_Path::RemoveExtension() const {
  const std::string::size_type dot = ExtensionStart();
  return dot == std::string::npos ? *this : ZR_Path(text_.substr(0, dot));
}

ZR_Path operator+(const ZR_Path& a, const ZR_Path& b) {
  ZR_Path sum(a);
  sum += b;
  return sum;
}

std::string IncludeTrailingPathDelimiter(const std::string& text) {
  if (text.empty() || text.back() == '/') return text;
  return text + '/';
}
