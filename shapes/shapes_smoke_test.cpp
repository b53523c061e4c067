// Reads the sample countries set end to end through every holding.
#include <gtest/gtest.h>

#include <string>

#include "shapes/shape_file_reader.h"
#include "text/geodesy.h"

namespace {

const std::string kCountries = std::string(ZRU_SOURCE_DIR) + "/samples/naturalearth/naturalearth_lowres";

TEST(ShapesSmoke, CountriesOpenReadAndContainTheirCapitals) {
  for (int openType : {OpenPafReadFile, OpenPafLoadIntoMemory, OpenPafFileMap}) {
    ShapeFileReader reader;
    std::string error;
    ASSERT_EQ(reader.Open(kCountries + ".shp", error, openType), 0) << error;
    EXPECT_EQ(reader.ShapeType(), kShapePolygon);
    EXPECT_EQ(reader.RecordCount(), 177);
    const int32_t nameField = reader.FieldNameToNumber("NAME");
    ASSERT_GE(nameField, 0);
    // Paris lies in France, whichever shape that is.
    std::string found;
    ShapeFileShape shape;
    for (int32_t i = 0; i < reader.RecordCount(); ++i) {
      ASSERT_EQ(reader.ReadShape(i, shape), 0);
      if (shape.IsPointInShape(48.8566, 2.3522)) {
        ASSERT_EQ(reader.ReadStringAttribute(i, nameField, found), 0);
        break;
      }
    }
    EXPECT_EQ(found, "France");
    ASSERT_EQ(reader.LoadShapesIntoMemory(), 0);
    EXPECT_EQ(reader.ReadShape(3).shapeType, kShapePolygon);
  }
}

TEST(ShapesSmoke, OneDegreeOfLongitudeAtTheEquator) {
  EXPECT_NEAR(LatLongDist(0, 0, 0, 1), 111.19, 0.01);
}

}  // namespace
