// ZR_Path: a file path held as one narrow text in UTF-8, the platform's own
// form; wide-character forms are converted on the way in and out. '/' is
// the only divider. A value type without locks: one thread at a time.
#ifndef ZRUTILS_FOUNDATION_PATH_H
#define ZRUTILS_FOUNDATION_PATH_H

#include <string>

#include "foundation/export.h"

class ZRU_EXPORT ZR_Path {
 public:
  ZR_Path() = default;
  ZR_Path(const std::string& text) : text_(text) {}
  // A null pointer gives the empty path.
  ZR_Path(const char* text) : text_(text != nullptr ? text : "") {}
  ZR_Path(const std::wstring& text) : text_(ConvertFromOtherType(text)) {}
  ZR_Path(const wchar_t* text);

  ZR_Path& operator=(const std::string& text);
  ZR_Path& operator=(const char* text);
  ZR_Path& operator=(const std::wstring& text);
  ZR_Path& operator=(const wchar_t* text);
  // Plain concatenation: no divider is added.
  ZR_Path& operator+=(const ZR_Path& other);
  ZR_Path& operator+=(const std::string& text);
  ZR_Path& operator+=(const char* text);
  ZR_Path& operator+=(const std::wstring& text);
  ZR_Path& operator+=(const wchar_t* text);

  // Appends '/' unless the path is empty or already ends in '/'.
  void AddTrailingPathDivider();
  void Clear() { text_.clear(); }
  bool Empty() const { return text_.empty(); }

  const std::string& Native() const { return text_; }
  const std::string& String() const { return text_; }
  const char* c_str() const { return text_.c_str(); }
  // The path decoded from UTF-8; a path that is not valid UTF-8 is taken
  // as Windows-1252, so every byte still gives a character.
  std::wstring WString() const { return ConvertToOtherType(text_); }

  // Wide text to the narrow form (UTF-8) and back, as above.
  static std::string ConvertFromOtherType(const std::wstring& text);
  static std::wstring ConvertToOtherType(const std::string& text);

  // Byte-wise: negative, 0 or positive as the path sorts before, equal to
  // or after other.
  int Compare(const ZR_Path& other) const { return text_.compare(other.text_); }
  bool operator==(const ZR_Path& other) const { return text_ == other.text_; }
  bool operator!=(const ZR_Path& other) const { return text_ != other.text_; }

  // Up to and including the last '/'; empty when there is none.
  ZR_Path ExtractFilePath() const;
  // After the last '/'; the whole path when there is none.
  ZR_Path ExtractFileName() const;
  // From the last '.' on, the '.' included, unless a '/' follows it; else
  // empty. A name beginning with '.' is all extension.
  ZR_Path ExtractExtension() const;
  // Before the last '.', unless a '/' follows it; else the whole path.
  ZR_Path RemoveExtension() const;
  // Not empty and starting with '/'.
  bool IsAbsolutePath() const { return !text_.empty() && text_[0] == '/'; }

 private:
  // Position of the extension's '.', or npos when the last name has none.
  std::string::size_type ExtensionStart() const;

  std::string text_;
};

ZRU_EXPORT ZR_Path operator+(const ZR_Path& a, const ZR_Path& b);

// Appends '/' to text unless it is empty or already ends in '/'.
ZRU_EXPORT std::string IncludeTrailingPathDelimiter(const std::string& text);

#endif
