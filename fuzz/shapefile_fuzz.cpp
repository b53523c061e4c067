// The shapefile reader on arbitrary main and index files. The input is a
// byte choosing how the files are held, a 4-byte little-endian size of the
// main file, the main file's bytes and then the index file's. Every record
// is read whole, as a box, through a cache and into memory, and the
// geometry runs over what was read: a code is fine, a crash is not.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "shapes/shape_file_reader.h"

static std::string ScratchBase() {
  return std::string(P_tmpdir) + "/zrutils-fuzz-" + std::to_string(getpid()) + "-shapes";
}

static bool WriteFile(const std::string& path, const uint8_t* data, size_t size) {
  FILE* file = fopen(path.c_str(), "wb");
  if (file == nullptr) return false;
  fwrite(data, 1, size, file);
  fclose(file);
  return true;
}

// A valid table of 1000 one-byte records, so the attribute side opens.
static const std::string& Table() {
  static const std::string table = [] {
    std::string t(32, '\0');
    t[0] = 3;
    t[4] = static_cast<char>(1000 & 0xFF);
    t[5] = static_cast<char>(1000 >> 8);
    t[8] = 65;  // header length
    t[10] = 2;  // record length
    std::string field(32, '\0');
    field.replace(0, 4, "NAME");
    field[11] = 'C';
    field[16] = 1;
    t += field;
    t += '\r';
    for (int i = 0; i < 1000; ++i) t += " x";
    return t;
  }();
  return table;
}

static void Exercise(const ShapeFileShape& shape) {
  const double midY = (shape.minY + shape.maxY) / 2;
  const double midX = (shape.minX + shape.maxX) / 2;
  volatile bool sink = shape.IsPointInShape(midY, midX);
  sink = shape.IsPointInBounds(midY, midX);
  for (uint32_t part = 0; part <= shape.parts.size(); ++part) {
    sink = shape.IsPointInShapePart(midY, midX, part);
    volatile int32_t direction = shape.GetRingDirection(part);
    (void)direction;
    double a, b, c, d;
    shape.GetPartBoundingBox(part, a, b, c, d);
  }
  (void)sink;
  volatile size_t crossings = shape.GetLongitudeIntersections(midX).size();
  (void)crossings;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 5) return 0;
  static const std::string base = ScratchBase();
  const int openType = 1 + data[0] % 3;
  size_t shpSize = data[1] | data[2] << 8 | data[3] << 16 | static_cast<size_t>(data[4]) << 24;
  data += 5;
  size -= 5;
  if (shpSize > size) shpSize = size;
  if (!WriteFile(base + ".shp", data, shpSize) ||
      !WriteFile(base + ".shx", data + shpSize, size - shpSize) ||
      !WriteFile(base + ".dbf", reinterpret_cast<const uint8_t*>(Table().data()), Table().size()))
    return 0;

  ShapeFileReader reader;
  std::string error;
  if (reader.Open(base, error, openType) != 0) {
    if (error.empty()) abort();  // every open failure explains itself
    return 0;
  }
  const int32_t count = reader.RecordCount() < 200 ? reader.RecordCount() : 200;
  ShapeFileShape shape;
  ShapeFileReader::ShapeCache cache;
  for (int32_t i = -1; i <= count; ++i) {
    if (reader.ReadShape(i, shape, true) == 0 && i < 0) abort();
    if (reader.ReadShape(i, shape, false) == 0) Exercise(shape);
    const ShapeFileShape* cached = nullptr;
    if (reader.ReadShape(i, cache, cached) == 0 && cached == nullptr) abort();
  }
  if (reader.RecordCount() <= 200 && reader.LoadShapesIntoMemory() == 0)
    for (int32_t i = 0; i < reader.LoadedShapeCount(); ++i) Exercise(reader.ReadShape(i));
  return 0;
}
