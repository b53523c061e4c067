// The answer text of zruPointInShape against the table read directly: the
// field list forms, names, the bars and the errors, through the real
// Natural Earth countries (a copy, so that its index is built here).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "api/zrutils.h"
#include "shapes/shape_file_reader.h"
#include "tests/shape_writer.h"
#include "tests/test_support.h"

namespace {

struct Answer {
  int status;
  std::string text;
};

Answer Query(const std::string& parameters) {
  std::string buffer = parameters;
  buffer.resize(std::max<size_t>(parameters.size(), 1024) + 1);
  const int status = zruPointInShape(&buffer[0], 1024);
  return {status, buffer.c_str()};
}

TEST(PointInShapeAnswer, FieldListsAgreeWithTheTable) {
  ScratchDir dir;
  const std::string base = dir.File("ne");
  CopyShapeSet(std::string(ZRU_SOURCE_DIR) + "/samples/naturalearth/naturalearth_lowres", base);
  const std::string file = base + ".shp";
  ASSERT_EQ(Query("OpenShapeFile=" + file + ";IndexPrecision=1;").status, 0);

  // London lies in the United Kingdom; the oracle is the table.
  ShapeFileReader reader;
  std::string error;
  ASSERT_EQ(reader.Open(base, error), 0);
  int uk = -1;
  std::string value, all, allNamed;
  for (int32_t r = 0; r < reader.RecordCount() && uk < 0; ++r)
    if (reader.ReadStringAttribute(r, "name", value) == 0 && value == "United Kingdom") uk = r;
  ASSERT_GE(uk, 0);
  for (int32_t k = 0; k < reader.FieldCount(); ++k) {
    ASSERT_EQ(reader.ReadStringAttribute(uk, k, value), 0);
    all += (k > 0 ? "|" : "") + value;
    allNamed += (k > 0 ? "|" : "") + reader.FieldName(k) + "=" + value;
  }
  std::string iso, continent;
  reader.ReadStringAttribute(uk, "iso_a3", iso);
  reader.ReadStringAttribute(uk, "continent", continent);

  const std::string at = "ShapeFile= , " + file + " ,;LatLong=51.507222,-0.1275;";
  struct Case {
    std::string items;
    Answer expected;
  };
  const Case cases[] = {
      {"", {0, all}},
      {"Fields=;", {0, all}},
      {"FieldNames=true;", {0, allNamed}},
      {"Fields=ISO_A3 , continent;", {0, iso + "|" + continent}},
      {"Fields= Iso_A3,continent ;FieldNames=True;", {0, "Iso_A3=" + iso + "|continent=" + continent}},
      {"Fields=name,,iso_a3;", {28020, "ERR_SHAPEFILE_NO_SUCH_FIELD"}},
      {"Fields= ;", {28020, "ERR_SHAPEFILE_NO_SUCH_FIELD"}},
      {"Fields=name;Distance=True;", {0, "United Kingdom|81923m"}},
  };
  for (const Case& c : cases) {
    const Answer got = Query(at + c.items);
    EXPECT_EQ(got.status, c.expected.status) << c.items;
    EXPECT_EQ(got.text, c.expected.text) << c.items;
  }
  EXPECT_EQ(Query("CloseShapeFile= " + file + " ,x;").status, 0);
  EXPECT_EQ(Query(at).status, 28021);
}

}  // namespace
