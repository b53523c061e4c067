// The worked examples of the format documents (docs/*.md) are hexdumps of
// files the library wrote. Each case writes its file again through the
// library and compares its bytes with the dump printed in the document, so
// a change of format shows up here rather than as a document that lies. On
// a mismatch the dump the library wrote now is printed, ready to paste.
// (The hash index's example is checked beside its writer, in
// hashindex/hash_index_create_test.cpp.)
//
// A dump in a document follows a line "<!-- hexdump: NAME -->" as a fenced
// block in the form of `xxd`: "oooooooo: hhhh hhhh ...  text".
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "api/zrutils.h"
#include "email/email_server_cache.h"
#include "foundation/morvel_config.h"
#include "shapes/create_grid_on_shape.h"
#include "tests/shape_writer.h"
#include "tests/test_support.h"

namespace {

// The bytes as `xxd` shows them: 16 a line, in pairs, then the printable text.
std::string Hexdump(const std::string& bytes) {
  std::string out;
  char piece[32];
  for (size_t line = 0; line < bytes.size(); line += 16) {
    snprintf(piece, sizeof piece, "%08zx:", line);
    out += piece;
    std::string text;
    for (size_t i = line; i < line + 16; ++i) {
      if (i % 2 == 0) out += ' ';
      if (i < bytes.size()) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        snprintf(piece, sizeof piece, "%02x", c);
        out += piece;
        text += c >= 0x20 && c < 0x7f ? static_cast<char>(c) : '.';
      } else {
        out += "  ";
      }
    }
    out += "  " + text + "\n";
  }
  return out;
}

// The fenced block after "<!-- hexdump: name -->" in the document, or
// "<missing>".
std::string DocumentDump(const std::string& document, const std::string& name) {
  const std::string text = ReadWholeFile(std::string(ZRU_SOURCE_DIR) + "/docs/" + document);
  const size_t marker = text.find("<!-- hexdump: " + name + " -->\n");
  if (marker == std::string::npos) return "<missing>";
  const size_t open = text.find("```\n", marker);
  if (open == std::string::npos) return "<missing>";
  const size_t start = open + 4;
  const size_t close = text.find("```\n", start);
  if (close == std::string::npos) return "<missing>";
  return text.substr(start, close - start);
}

// The bytes a dump shows (its hex columns).
std::string BytesOfDump(const std::string& dump) {
  std::string bytes;
  size_t line = 0;
  while (line < dump.size()) {
    const size_t end = std::min(dump.find('\n', line), dump.size());
    // Hex digits stand from after "oooooooo: " up to the two blanks before the text.
    const size_t hexStart = line + 10;
    const size_t hexEnd = std::min(dump.find("  ", hexStart), end);
    for (size_t i = hexStart; i + 1 < hexEnd;) {
      if (dump[i] == ' ') {
        ++i;
        continue;
      }
      bytes += static_cast<char>(strtol(dump.substr(i, 2).c_str(), nullptr, 16));
      i += 2;
    }
    line = end + 1;
  }
  return bytes;
}

void ExpectDocumented(const std::string& document, const std::string& name,
                      const std::string& bytes) {
  EXPECT_EQ(DocumentDump(document, name), Hexdump(bytes))
      << "docs/" << document << " (" << name << ") should show:\n" << Hexdump(bytes);
}

int Call(int (*entry)(char*, int), std::string& text) {
  std::vector<char> buffer(1024 + 1);
  snprintf(buffer.data(), buffer.size(), "%s", text.c_str());
  const int status = entry(buffer.data(), 1024);
  text = buffer.data();
  return status;
}

}  // namespace

TEST(DocExamples, GridIndexFile) {
  // Three shapes at precision 0: a rectangle (shape 1), a smaller one
  // overlapping its right edge (shape 2) and a small square above the
  // first (shape 3), so that the index holds every code.
  ScratchDir dir;
  const std::string base = dir.File("example");
  WriteShapeSet(base, 5,
                {MakePolygon({RectangleRing(0.5, 0.5, 2.5, 3.5)}),
                 MakePolygon({RectangleRing(2.2, 1.5, 3.5, 2.5)}),
                 MakePolygon({RectangleRing(0.2, 5.2, 0.8, 5.8)})});
  CreateGridOnShapeOptions options;
  options.precision = 0;
  ASSERT_EQ(CreateGridOnShape(base + ".shp", options), 0);
  ExpectDocumented("gos_format.md", "example.gos", ReadWholeFile(base + ".gos"));
}

TEST(DocExamples, ListFile) {
  // The file before is the document's own; the file after is the library's.
  ScratchDir dir;
  const std::string path = dir.File("streets.txt");
  WriteWholeFile(path, BytesOfDump(DocumentDump("list_file.md", "streets.txt before")));
  std::string text = "File=" + path;
  ASSERT_EQ(Call(zruOpenList, text), 0);
  const std::string handle = text;
  text = handle + "\tAcacia Avenue\tInsertOnNotFound";
  ASSERT_EQ(Call(zruSearchList, text), 0);
  EXPECT_EQ(text, "13\tAcacia Avenue\tNew");
  text = handle + "\tFile=" + path;
  ASSERT_EQ(Call(zruCloseList, text), 0);
  ExpectDocumented("list_file.md", "streets.txt after", ReadWholeFile(path));
}

TEST(DocExamples, EmailCacheFile) {
  // The records carry the minute they were written: the document's own
  // minutes are put in place of today's before comparing.
  ScratchDir dir;
  const std::string path = dir.File("email.cache");
  EmailServerCache cache;
  ASSERT_EQ(cache.Open(path.c_str()), kCacheOk);
  ASSERT_EQ(cache.Add("example.org", '4'), kCacheOk);
  ASSERT_EQ(cache.Add("mail.example.net", '5'), kCacheOk);
  cache.Close();
  std::string bytes = ReadWholeFile(path);
  const std::string documented =
      BytesOfDump(DocumentDump("email_cache_file.md", "email.cache"));
  ASSERT_EQ(bytes.size(), documented.size()) << Hexdump(bytes);
  for (const char* domain : {"example.org", "mail.example.net"}) {
    const size_t time = bytes.find(std::string("\n") + domain + "\t") + strlen(domain) + 3;
    bytes.replace(time, 4, documented, time, 4);
  }
  ExpectDocumented("email_cache_file.md", "email.cache", bytes);
}

TEST(DocExamples, ConfigFile) {
  // Nothing writes a configuration file: the document's own file is read
  // back and the answers its table gives are checked.
  ScratchDir dir;
  const std::string path = dir.File("morvel");
  WriteWholeFile(path, BytesOfDump(DocumentDump("config_file.md", "morvel")));
  ScopedConfigFile scoped(path);
  MorvelConfig config;
  std::string value;
  unsigned int number = 0;
  ASSERT_TRUE(config.OpenKey("", 0));
  EXPECT_TRUE(config.ReadValue("EmailCacheFile", value));
  EXPECT_EQ(value, "/var/cache/zrutils/email.cache");
  EXPECT_TRUE(config.ReadValueI("EmailCacheExpiryValid", number));
  EXPECT_EQ(number, 1440u);
  EXPECT_FALSE(config.ReadValue("EmailCacheExpiryInvalid", value));
  EXPECT_EQ(config.LastError(), 1302);
  EXPECT_TRUE(config.ReadValue("EmailCacheExpiryInvalid ", value));
  EXPECT_EQ(value, " 45");
  ASSERT_TRUE(config.OpenKey("ZRUtils", 0));
  EXPECT_TRUE(config.ReadValue("FileMapShapeFiles", value));
  EXPECT_EQ(value, "Yes");
  EXPECT_TRUE(config.ReadValue("FileMapArfs", value));
  EXPECT_EQ(value, "Default");
  std::vector<std::string> names, values;
  config.EnumerateValues(names, values);
  EXPECT_EQ(names, (std::vector<std::string>{"FileMapShapeFiles", "filemapshapefiles", "FileMapArfs"}));
  EXPECT_EQ(values, (std::vector<std::string>{"Yes", "No", "Default"}));
}
