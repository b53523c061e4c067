// DbfFileReader on tables made by the test writer, patched where a case
// needs an odd header.
#include "shapes/dbf_file_reader.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/shape_writer.h"
#include "tests/test_support.h"

namespace {

constexpr int kOpenTypes[] = {OpenPafReadFile, OpenPafLoadIntoMemory, OpenPafFileMap};

std::string Table() {
  return MakeDbf({{"NAME", 'C', 10, 0}, {"name", 'C', 4, 0}, {"COUNT", 'N', 6, 0},
                  {"ELEVENCHARS", 'C', 3, 0}},
                 {{"  ABC   ", "x", "    42", "a"}, {"      ", "yy", "-7", "bcd"}, {"Z", "", "", ""}});
}

TEST(DbfFileReader, FieldsAndTrimmedValues) {
  for (int openType : kOpenTypes) {
    ScratchDir dir;
    WriteWholeFile(dir.File("t.dbf"), Table());
    DbfFileReader reader;
    std::string error;
    ASSERT_EQ(reader.Open(dir.File("t.dbf"), error, openType), 0) << error;
    EXPECT_EQ(reader.RecordCount(), 3);
    ASSERT_EQ(reader.FieldCount(), 4);  // the terminator byte is no field
    EXPECT_EQ(reader.FieldName(3), "ELEVENCHARS");  // 11 bytes, no NUL
    EXPECT_EQ(reader.FieldSize(-1), 0);
    EXPECT_EQ(reader.FieldNameToNumber("name"), 0);  // first of the two, ignoring case
    EXPECT_EQ(reader.FieldNameToNumber("Count"), 2);
    EXPECT_EQ(reader.FieldNameToNumber("missing"), -1);
    struct Case {
      int32_t record, field;
      int code;
      const char* value;
    };
    const Case cases[] = {
        {0, 0, 0, "ABC"}, {1, 0, 0, ""}, {0, 2, 0, "42"}, {1, 2, 0, "-7"}, {1, 3, 0, "bcd"},
        {2, 1, 0, ""},    {3, 0, ERR_SHAPEFILE_INVALID_RECORD_NUM, nullptr},
        {0, -1, ERR_SHAPEFILE_INVALID_FIELD_NUM, nullptr},
        {-1, -1, ERR_SHAPEFILE_INVALID_RECORD_NUM, nullptr},  // the record is checked first
        {0, 4, ERR_SHAPEFILE_INVALID_FIELD_NUM, nullptr},
    };
    DbfFileReader::ShapeAttributeCache cache;
    for (const Case& c : cases) {
      SCOPED_TRACE(testing::Message() << c.record << "," << c.field);
      std::string direct = "old", shared = "old";
      const std::string* cached = nullptr;
      EXPECT_EQ(reader.ReadStringAttribute(c.record, c.field, direct), c.code);
      EXPECT_EQ(reader.ReadStringAttribute_not_MT(c.record, c.field, shared), c.code);
      EXPECT_EQ(reader.ReadStringAttribute(c.record, c.field, cache, cached), c.code);
      if (c.code == 0) {
        EXPECT_EQ(direct, c.value);
        EXPECT_EQ(shared, c.value);
        ASSERT_NE(cached, nullptr);
        EXPECT_EQ(*cached, c.value);
      } else {
        EXPECT_EQ(direct, "old");  // unchanged on failure
      }
    }
    std::string value;
    EXPECT_EQ(reader.ReadStringAttribute(1, "COUNT", value), 0);
    EXPECT_EQ(value, "-7");
    EXPECT_EQ(reader.ReadStringAttribute(1, "nope", value), ERR_SHAPEFILE_NO_SUCH_FIELD);
    reader.Close();
    EXPECT_EQ(reader.FieldCount(), 0);
    EXPECT_EQ(reader.ReadStringAttribute(0, 0, value), ERR_SHAPEFILE_INVALID_RECORD_NUM);
  }
}

TEST(DbfFileReader, WideCharacterAndNumericDescriptors) {
  // Bytes 16 and 17 hold 44 and 1: 300 wide for a character field, 44 wide
  // with one decimal for a numeric one.
  std::string table = MakeDbf({{"TEXT", 'C', 300, 0}, {"NUM", 'N', 44, 1}},
                              {{std::string(299, 'q') + "r", "12.5"}});
  ScratchDir dir;
  WriteWholeFile(dir.File("w.dbf"), table);
  DbfFileReader reader;
  std::string error;
  ASSERT_EQ(reader.Open(dir.File("w.dbf"), error), 0) << error;
  EXPECT_EQ(reader.FieldSize(0), 300);
  EXPECT_EQ(reader.FieldSize(1), 44);
  EXPECT_EQ(reader.Fields()[1].decimals, 1);
  EXPECT_EQ(reader.Fields()[1].offset, 301);
  std::string value;
  ASSERT_EQ(reader.ReadStringAttribute(0, 0, value), 0);
  EXPECT_EQ(value, std::string(299, 'q') + "r");
  ASSERT_EQ(reader.ReadStringAttribute(0, 1, value), 0);
  EXPECT_EQ(value, "12.5");
}

TEST(DbfFileReader, ImpossibleHeaders) {
  struct Case {
    const char* what;
    void (*patch)(std::string&);
    int openCode;
    int readCode;  // reading record 0, field 1
    const char* value;
  };
  const Case cases[] = {
      {"header length below 32", [](std::string& t) { t[8] = 20; t[9] = 0; }, ERR_SHAPEFILE_INVALID_HEADER, 0, nullptr},
      {"header length 0", [](std::string& t) { t[8] = 0; t[9] = 0; }, ERR_SHAPEFILE_INVALID_HEADER, 0, nullptr},
      {"header length past the file", [](std::string& t) { t[8] = 0; t[9] = 0x7F; }, ERR_MTFILE_PAST_END, 0, nullptr},
      // A record length of 8 leaves field 1 (at offset 7, 4 wide) 1 byte.
      {"field past the record", [](std::string& t) { t[10] = 8; t[11] = 0; }, 0, 0, "B"},
      {"record length 0", [](std::string& t) { t[10] = 0; t[11] = 0; }, 0, 0, ""},
      {"record count past the file", [](std::string& t) { t[4] = 0; t[5] = 0; t[6] = 0; t[7] = 0x70; }, 0, 0, "BBBB"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string table = MakeDbf({{"A", 'C', 6, 0}, {"B", 'C', 4, 0}}, {{"AAAAAA", "BBBB"}});
    c.patch(table);
    ScratchDir dir;
    WriteWholeFile(dir.File("p.dbf"), table);
    for (int openType : kOpenTypes) {
      DbfFileReader reader;
      std::string error;
      ASSERT_EQ(reader.Open(dir.File("p.dbf"), error, openType), c.openCode);
      if (c.openCode != 0) {
        EXPECT_FALSE(error.empty());
        continue;
      }
      std::string value;
      EXPECT_EQ(reader.ReadStringAttribute(0, 1, value), c.readCode);
      if (c.value != nullptr) {
        EXPECT_EQ(value, c.value);
      }
    }
  }
}

TEST(DbfFileReader, RecordOffsetsBeyondTwoGiBDoNotWrap) {
  // 65,535-byte records: record 40,000 would start past 2^31.
  std::string table = MakeDbf({{"A", 'C', 65534, 0}}, {{"x"}});
  table[4] = static_cast<char>(0x40);
  table[5] = static_cast<char>(0x9C);  // 40,000 records claimed
  ScratchDir dir;
  WriteWholeFile(dir.File("big.dbf"), table);
  DbfFileReader reader;
  std::string error;
  ASSERT_EQ(reader.Open(dir.File("big.dbf"), error), 0) << error;
  std::string value;
  EXPECT_EQ(reader.ReadStringAttribute(0, 0, value), 0);
  EXPECT_EQ(value, "x");
  for (int32_t record : {32769, 39999}) {
    EXPECT_EQ(reader.ReadStringAttribute(record, 0, value), ERR_MTFILE_PAST_END);
    EXPECT_EQ(reader.ReadStringAttribute_not_MT(record, 0, value), ERR_MTFILE_PAST_END);
  }
}

TEST(DbfFileReader, SharedBufferReadsARecordOnce) {
  ScratchDir dir;
  WriteWholeFile(dir.File("t.dbf"), Table());
  DbfFileReader reader;
  std::string error;
  ASSERT_EQ(reader.Open(dir.File("t.dbf"), error, OpenPafReadFile), 0) << error;
  std::string value;
  ASSERT_EQ(reader.ReadStringAttribute_not_MT(0, 0, value), 0);
  // With the records gone from the file, only the held record answers.
  ASSERT_EQ(truncate(dir.File("t.dbf").c_str(), 100), 0);
  EXPECT_EQ(reader.ReadStringAttribute_not_MT(0, 2, value), 0);
  EXPECT_EQ(value, "42");
  EXPECT_EQ(reader.ReadStringAttribute_not_MT(2, 0, value), ERR_MTFILE_READ);
  EXPECT_EQ(reader.ReadStringAttribute_not_MT(0, 3, value), 0);  // a failed read kept record 0
  EXPECT_EQ(value, "a");
}

TEST(DbfFileReader, CacheReplacesTheLeastRecentlyUsedPair) {
  std::vector<std::vector<std::string>> rows;
  for (int i = 0; i < 30; ++i) rows.push_back({"v" + std::to_string(i)});
  ScratchDir dir;
  WriteWholeFile(dir.File("c.dbf"), MakeDbf({{"V", 'C', 4, 0}}, rows));
  DbfFileReader reader;
  std::string error;
  ASSERT_EQ(reader.Open(dir.File("c.dbf"), error, OpenPafLoadIntoMemory), 0) << error;
  DbfFileReader::ShapeAttributeCache cache;
  const std::string* value = nullptr;
  for (int i = 0; i < 20; ++i) ASSERT_EQ(reader.ReadStringAttribute(i, 0, cache, value), 0);
  ASSERT_EQ(reader.ReadStringAttribute(0, 0, cache, value), 0);  // 1 is now the oldest
  ASSERT_EQ(reader.ReadStringAttribute(20, 0, cache, value), 0);
  EXPECT_EQ(*value, "v20");
  bool holdsOne = false, holdsZero = false;
  for (const auto& rec : cache.records) {
    holdsOne = holdsOne || rec.record == 1;
    holdsZero = holdsZero || rec.record == 0;
  }
  EXPECT_FALSE(holdsOne);
  EXPECT_TRUE(holdsZero);
  // A negative record is refused, never matched with a free record.
  DbfFileReader::ShapeAttributeCache fresh;
  EXPECT_EQ(reader.ReadStringAttribute(-1, -1, fresh, value), ERR_SHAPEFILE_INVALID_RECORD_NUM);
}

}  // namespace
