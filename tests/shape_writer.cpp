#include "tests/shape_writer.h"

#include <algorithm>
#include <cstring>

#include "tests/test_support.h"

namespace {

void PutLittle(std::string& out, uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>(value >> (8 * i)));
}
void PutBig(std::string& out, uint32_t value) {
  for (int i = 3; i >= 0; --i) out.push_back(static_cast<char>(value >> (8 * i)));
}
void PutInt(std::string& out, int32_t value) { PutLittle(out, static_cast<uint32_t>(value), 4); }
void PutDouble(std::string& out, double value) {
  uint64_t bits;
  memcpy(&bits, &value, 8);
  PutLittle(out, bits, 8);
}

bool IsPointType(int32_t type) { return type == 1 || type == 11 || type == 21; }
bool HasZ(int32_t type) { return type == 11 || type == 13 || type == 15 || type == 18 || type == 31; }
bool HasM(int32_t type) { return HasZ(type) || type == 21 || type == 23 || type == 25 || type == 28; }
bool HasParts(int32_t type) {
  return type == 3 || type == 5 || type == 13 || type == 15 || type == 23 || type == 25 || type == 31;
}

struct Box {
  double minX = 0, minY = 0, maxX = 0, maxY = 0;
  bool empty = true;
  void Add(double x, double y) {
    if (empty) {
      minX = maxX = x;
      minY = maxY = y;
      empty = false;
    }
    minX = std::min(minX, x);
    maxX = std::max(maxX, x);
    minY = std::min(minY, y);
    maxY = std::max(maxY, y);
  }
};

void PutRange(std::string& out, const std::vector<double>& values, size_t count) {
  double lo = 0, hi = 0;
  for (size_t i = 0; i < count; ++i) {
    const double v = i < values.size() ? values[i] : 0;
    lo = i == 0 ? v : std::min(lo, v);
    hi = i == 0 ? v : std::max(hi, v);
  }
  PutDouble(out, lo);
  PutDouble(out, hi);
  for (size_t i = 0; i < count; ++i) PutDouble(out, i < values.size() ? values[i] : 0);
}

}  // namespace

ShapeFileShape MakePolygon(const std::vector<std::vector<ShapeFilePoint>>& rings) {
  ShapeFileShape shape;
  shape.shapeType = 5;
  Box box;
  for (const auto& ring : rings) {
    shape.parts.push_back(static_cast<int32_t>(shape.points.size()));
    for (const ShapeFilePoint& p : ring) {
      shape.points.push_back(p);
      box.Add(p.x, p.y);
    }
  }
  shape.minX = box.minX;
  shape.maxX = box.maxX;
  shape.minY = box.minY;
  shape.maxY = box.maxY;
  return shape;
}

std::vector<ShapeFilePoint> RectangleRing(double minX, double minY, double maxX, double maxY,
                                          bool clockwise) {
  std::vector<ShapeFilePoint> ring = {
      {minX, minY}, {minX, maxY}, {maxX, maxY}, {maxX, minY}, {minX, minY}};
  if (!clockwise) std::reverse(ring.begin(), ring.end());
  return ring;
}

std::string ShapeRecordContent(const ShapeFileShape& shape, bool withM) {
  const int32_t type = shape.shapeType;
  std::string out;
  PutInt(out, type);
  if (type == 0) return out;
  const size_t n = shape.points.size();
  if (IsPointType(type)) {
    const ShapeFilePoint p = n > 0 ? shape.points[0] : ShapeFilePoint{};
    PutDouble(out, p.x);
    PutDouble(out, p.y);
    if (type == 11) PutDouble(out, shape.z.empty() ? 0 : shape.z[0]);
    if (type != 1 && (withM || type == 21)) PutDouble(out, shape.m.empty() ? 0 : shape.m[0]);
    return out;
  }
  Box box;
  for (const ShapeFilePoint& p : shape.points) box.Add(p.x, p.y);
  PutDouble(out, box.minX);
  PutDouble(out, box.minY);
  PutDouble(out, box.maxX);
  PutDouble(out, box.maxY);
  if (HasParts(type)) PutInt(out, static_cast<int32_t>(shape.parts.size()));
  PutInt(out, static_cast<int32_t>(n));
  if (HasParts(type))
    for (int32_t part : shape.parts) PutInt(out, part);
  if (type == 31)
    for (size_t i = 0; i < shape.parts.size(); ++i)
      PutInt(out, i < shape.partTypes.size() ? shape.partTypes[i] : 0);
  for (const ShapeFilePoint& p : shape.points) {
    PutDouble(out, p.x);
    PutDouble(out, p.y);
  }
  if (HasZ(type)) PutRange(out, shape.z, n);
  // MultiPointM always carries its M block.
  if (HasM(type) && (withM || type == 28)) PutRange(out, shape.m, n);
  return out;
}

ShapeFileBytes MakeShapeFiles(int32_t fileType, const std::vector<ShapeFileShape>& shapes,
                              bool withM) {
  ShapeFileBytes files;
  std::string records;
  std::string index;
  Box box;
  for (size_t i = 0; i < shapes.size(); ++i) {
    for (const ShapeFilePoint& p : shapes[i].points) box.Add(p.x, p.y);
    const std::string content = ShapeRecordContent(shapes[i], withM);
    PutBig(index, static_cast<uint32_t>((100 + records.size()) / 2));
    PutBig(index, static_cast<uint32_t>(content.size() / 2));
    PutBig(records, static_cast<uint32_t>(i + 1));
    PutBig(records, static_cast<uint32_t>(content.size() / 2));
    records += content;
  }
  const auto header = [&](size_t totalBytes) {
    std::string h;
    PutBig(h, 9994);
    h.append(20, '\0');
    PutBig(h, static_cast<uint32_t>(totalBytes / 2));
    PutInt(h, 1000);
    PutInt(h, fileType);
    PutDouble(h, box.minX);
    PutDouble(h, box.minY);
    PutDouble(h, box.maxX);
    PutDouble(h, box.maxY);
    h.append(32, '\0');  // Z and M ranges
    return h;
  };
  files.shp = header(100 + records.size()) + records;
  files.shx = header(100 + index.size()) + index;
  return files;
}

std::string MakeDbf(const std::vector<DbfFieldSpec>& fields,
                    const std::vector<std::vector<std::string>>& rows) {
  int recordLength = 1;
  for (const DbfFieldSpec& f : fields) recordLength += f.length;
  const int headerLength = 32 + 32 * static_cast<int>(fields.size()) + 1;
  std::string out;
  out.push_back(3);
  out.append(3, '\0');  // date of last update
  PutLittle(out, rows.size(), 4);
  PutLittle(out, static_cast<uint64_t>(headerLength), 2);
  PutLittle(out, static_cast<uint64_t>(recordLength), 2);
  out.append(20, '\0');
  for (const DbfFieldSpec& f : fields) {
    std::string d = f.name.substr(0, 11);
    d.resize(11, '\0');
    d.push_back(f.type);
    d.append(4, '\0');
    if (f.type == 'N' || f.type == 'F' || f.type == 'D') {
      d.push_back(static_cast<char>(f.length));
      d.push_back(static_cast<char>(f.decimals));
    } else {
      d.push_back(static_cast<char>(f.length & 0xFF));
      d.push_back(static_cast<char>(f.length >> 8));
    }
    d.append(14, '\0');
    out += d;
  }
  out.push_back(0x0D);
  for (const auto& row : rows) {
    out.push_back(' ');
    for (size_t i = 0; i < fields.size(); ++i) {
      std::string value = i < row.size() ? row[i] : std::string();
      value.resize(static_cast<size_t>(fields[i].length), ' ');
      out += value;
    }
  }
  out.push_back(0x1A);
  return out;
}

void WriteShapeFiles(const std::string& base, const ShapeFileBytes& files, const std::string& dbf) {
  WriteWholeFile(base + ".shp", files.shp);
  WriteWholeFile(base + ".shx", files.shx);
  WriteWholeFile(base + ".dbf", dbf);
}

void CopyShapeSet(const std::string& from, const std::string& to) {
  for (const char* ext : {".shp", ".shx", ".dbf"}) WriteWholeFile(to + ext, ReadWholeFile(from + ext));
}

void WriteShapeSet(const std::string& base, int32_t fileType,
                   const std::vector<ShapeFileShape>& shapes, bool withM) {
  std::vector<std::vector<std::string>> rows;
  for (size_t i = 0; i < shapes.size(); ++i) rows.push_back({"shape" + std::to_string(i)});
  WriteShapeFiles(base, MakeShapeFiles(fileType, shapes, withM),
                  MakeDbf({{"NAME", 'C', 16, 0}}, rows));
}

uint64_t DigestDoubles(const double* values, size_t count) {
  uint64_t h = 0xcbf29ce484222325ull;
  for (size_t i = 0; i < count; ++i) {
    uint64_t bits;
    memcpy(&bits, &values[i], 8);
    for (int b = 0; b < 8; ++b) {
      h ^= (bits >> (8 * b)) & 0xFF;
      h *= 0x100000001b3ull;
    }
  }
  return h;
}
