// Every truncation and random byte changes of valid shapefile sets give
// result codes, never a crash or a read outside a buffer (run under the
// sanitizers in CI), and records that survive intact read as before.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "shapes/shape_file_reader.h"
#include "tests/shape_writer.h"
#include "tests/test_support.h"

namespace {

const std::string kEdge = std::string(ZRU_SOURCE_DIR) + "/tests/data/shapes/edge/";

bool KnownCode(int code) {
  return code == 0 || (code >= 28001 && code <= 28022) || (code >= 4020 && code <= 4027) ||
         code == 4003 || code == 4004 || code == 4007;
}

struct SetBytes {
  std::string shp, shx, dbf;
};

// The set's files, under a fresh name for every case: rewriting a file in
// place can make the file system flush it to disk each time, which is slow.
class SetFiles {
 public:
  void Write(const SetBytes& bytes) {
    for (const char* extension : {".shp", ".shx", ".dbf"}) remove((Base() + extension).c_str());
    ++number_;
    WriteShapeFiles(Base(), {bytes.shp, bytes.shx}, bytes.dbf);
  }
  std::string Base() const { return dir_.File("d" + std::to_string(number_)); }

 private:
  ScratchDir dir_;
  int number_ = 0;
};

// What a reader gives for every record: codes, point counts and values.
std::vector<std::string> ReadEverything(const SetBytes& bytes, SetFiles& files, int openType) {
  files.Write(bytes);
  std::vector<std::string> seen;
  ShapeFileReader reader;
  std::string error;
  const int open = reader.Open(files.Base(), error, openType);
  EXPECT_TRUE(KnownCode(open)) << open;
  if (open != 0) {
    EXPECT_FALSE(error.empty());
    return {"open " + std::to_string(open)};
  }
  ShapeFileShape shape;
  ShapeFileReader::ShapeCache cache;
  const int32_t count = std::min(reader.RecordCount(), 64);
  for (int32_t i = 0; i < count; ++i) {
    const int boxCode = reader.ReadShape(i, shape, true);
    EXPECT_TRUE(KnownCode(boxCode)) << boxCode;
    const int code = reader.ReadShape(i, shape);
    EXPECT_TRUE(KnownCode(code)) << code;
    std::string line = std::to_string(code) + " " + std::to_string(shape.points.size()) + " " +
                       std::to_string(shape.IsPointInShape(shape.minY, shape.minX));
    const ShapeFileShape* cached = nullptr;
    EXPECT_EQ(reader.ReadShape(i, cache, cached), code);
    for (int32_t f = 0; f < std::min(reader.FieldCount(), 8); ++f) {
      std::string value;
      const int attributeCode = reader.ReadStringAttribute(i, f, value);
      EXPECT_TRUE(KnownCode(attributeCode)) << attributeCode;
      line += " " + std::to_string(attributeCode) + ":" + value;
    }
    seen.push_back(line);
  }
  const int load = reader.LoadShapesIntoMemory();
  EXPECT_TRUE(KnownCode(load)) << load;
  return seen;
}

std::vector<SetBytes> Sets() {
  std::vector<SetBytes> sets;
  for (const char* name : {"polygon_holes", "polygonz", "multipatch", "multipointm", "pointz",
                           "polygon_nulls"})
    sets.push_back({ReadWholeFile(kEdge + name + ".shp"), ReadWholeFile(kEdge + name + ".shx"),
                    ReadWholeFile(kEdge + name + ".dbf")});
  return sets;
}

TEST(ShapeFileDamage, EveryTruncationGivesACode) {
  SetFiles files;
  for (const SetBytes& whole : Sets()) {
    const std::vector<std::string> intact = ReadEverything(whole, files, OpenPafReadFile);
    for (int file = 0; file < 3; ++file) {
      const std::string& original = file == 0 ? whole.shp : file == 1 ? whole.shx : whole.dbf;
      for (size_t length = 0; length < original.size(); ++length) {
        SetBytes cut = whole;
        std::string& target = file == 0 ? cut.shp : file == 1 ? cut.shx : cut.dbf;
        target.resize(length);
        // Mapped, so that reads past the end would leave the mapping.
        const std::vector<std::string> seen =
            ReadEverything(cut, files, length % 2 ? OpenPafFileMap : OpenPafLoadIntoMemory);
        // A cut main file leaves the records before the cut as they were.
        if (file == 0 && !seen.empty() && seen[0].rfind("open", 0) != 0)
          for (size_t i = 0; i < seen.size() && i < intact.size(); ++i)
            if (seen[i][0] == '0') {
              EXPECT_EQ(seen[i], intact[i]);
            }
      }
    }
  }
}

TEST(ShapeFileDamage, RandomByteChangesGiveCodes) {
  SetFiles files;
  std::mt19937 random(7);
  for (const SetBytes& whole : Sets()) {
    for (int round = 0; round < 100; ++round) {
      SetBytes changed = whole;
      const int flips = 1 + static_cast<int>(random() % 4);
      for (int k = 0; k < flips; ++k) {
        std::string& target = random() % 3 == 0 ? changed.shx : random() % 2 ? changed.shp : changed.dbf;
        if (target.empty()) continue;
        target[random() % target.size()] = static_cast<char>(random());
      }
      ReadEverything(changed, files, round % 3 == 0 ? OpenPafReadFile : OpenPafFileMap);
    }
  }
}

}  // namespace
