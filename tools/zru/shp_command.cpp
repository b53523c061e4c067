// zru shp info|dump: a shapefile set's header, fields and records, through
// ShapeFileReader.
#include <cstdio>
#include <memory>
#include <string>

#include "shapes/shape_file_reader.h"
#include "tools/zru/zru_cli.h"

namespace {

int OpenSet(const std::string& path, ShapeFileReader& reader) {
  std::string error;
  const int result = reader.Open(path, error, OpenPafFileMap);
  return result == 0 ? 0 : Fail(path, result, error);
}

void PrintFields(const DbfFileReader& dbf) {
  printf("Fields: %d\n", dbf.FieldCount());
  for (const DbfFieldDesc& f : dbf.Fields())
    printf("  %s: %c, width %d, decimals %d\n", f.name.c_str(), f.type, f.length, f.decimals);
}

int Info(const std::string& path) {
  ShapeFileReader reader;
  if (OpenSet(path, reader) != 0) return kExitFailure;
  printf("Shapefile: %s\nShape type: %s\nRecords: %d\n", reader.FileName().c_str(),
         ShapeFileReader::ShapeTypeToString(reader.ShapeType()).c_str(), reader.RecordCount());
  printf("Extent: (%.15g, %.15g) - (%.15g, %.15g)\n", reader.MinX(), reader.MinY(),
         reader.MaxX(), reader.MaxY());
  PrintFields(reader.Dbf());
  return kExitDone;
}

// Every record: its type, box, parts with their points (x y, and z or m
// where the type has them), then its attributes.
int Dump(const std::string& path) {
  ShapeFileReader reader;
  if (OpenSet(path, reader) != 0) return kExitFailure;
  const DbfFileReader& dbf = reader.Dbf();
  ShapeFileShape shape;
  std::string value;
  for (int32_t record = 0; record < reader.RecordCount(); ++record) {
    int result = reader.ReadShape(record, shape);
    if (result != 0) return Fail(path + " record " + std::to_string(record), result);
    printf("Record %d: %s, %zu parts, %zu points, box (%.15g, %.15g) - (%.15g, %.15g)\n", record,
           ShapeFileReader::ShapeTypeToString(shape.shapeType).c_str(), shape.parts.size(),
           shape.points.size(), shape.minX, shape.minY, shape.maxX, shape.maxY);
    // A point type has no part table: its points form one part.
    const size_t partCount = shape.parts.empty() ? 1 : shape.parts.size();
    for (size_t part = 0; part < partCount && !shape.points.empty(); ++part) {
      const size_t begin = shape.parts.empty() ? 0 : static_cast<size_t>(shape.parts[part]);
      const size_t end = part + 1 < shape.parts.size() ? static_cast<size_t>(shape.parts[part + 1])
                                                        : shape.points.size();
      printf("  Part %zu:\n", part);
      for (size_t i = begin; i < end && i < shape.points.size(); ++i) {
        printf("    %.15g %.15g", shape.points[i].x, shape.points[i].y);
        if (i < shape.z.size()) printf(" z=%.15g", shape.z[i]);
        if (i < shape.m.size()) printf(" m=%.15g", shape.m[i]);
        printf("\n");
      }
    }
    for (int32_t field = 0; field < dbf.FieldCount() && record < dbf.RecordCount(); ++field) {
      result = dbf.ReadStringAttribute(record, field, value);
      if (result != 0) return Fail(path + " record " + std::to_string(record), result);
      printf("  %s=%s\n", dbf.FieldName(field).c_str(), value.c_str());
    }
  }
  return kExitDone;
}

}  // namespace

void AddShpCommands(CLI::App& app, int& status) {
  CLI::App* shp = app.add_subcommand("shp", "Shapefile sets (.shp, .shx, .dbf)");
  shp->require_subcommand(1);
  auto path = std::make_shared<std::string>();
  CLI::App* info = shp->add_subcommand("info", "Shape type, record count, extent and fields");
  info->add_option("SHAPEFILE", *path, "Any file of the set, or its name without extension")
      ->required();
  info->callback([path, &status] { status = Info(*path); });
  CLI::App* dump = shp->add_subcommand("dump", "Every record's geometry and attributes");
  dump->add_option("SHAPEFILE", *path, "Any file of the set, or its name without extension")
      ->required();
  dump->callback([path, &status] { status = Dump(*path); });
}
