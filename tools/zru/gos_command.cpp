// zru gos build|info|column|search: grid index files (".gos") through
// CreateGridOnShape and GridOnShapeFile.
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "shapes/create_grid_on_shape.h"
#include "shapes/grid_on_shape_file.h"
#include "shapes/shape_file_reader.h"
#include "tools/zru/zru_cli.h"

namespace {

struct GosArguments {
  std::string path;
  int precision = -1;
  bool higher = false;
  std::string filter;
  double longitude = 0;
  std::string point;
};

// Progress of a build on standard error: a bar redrawn in place on a
// terminal, a line every tenth of the work otherwise (logs, pipes).
std::function<void(int64_t, int64_t)> ProgressReporter() {
  const bool terminal = isatty(fileno(stderr)) != 0;
  auto last = std::make_shared<int>(-1);
  return [terminal, last](int64_t done, int64_t total) {
    if (total <= 0) return;
    const int percent = static_cast<int>(done * 100 / total);
    const int step = terminal ? percent : percent / 10 * 10;
    if (step == *last) return;
    *last = step;
    if (terminal) {
      const int width = 40, filled = percent * width / 100;
      fprintf(stderr, "\r[%s%s] %3d%%", std::string(filled, '#').c_str(),
              std::string(width - filled, ' ').c_str(), percent);
      if (done >= total) fputc('\n', stderr);
    } else {
      fprintf(stderr, "zru gos build: %d%%\n", step);
    }
  };
}

int OpenIndex(const std::string& path, GridOnShapeFile& grid) {
  std::string error;
  const int result = grid.Open(path.c_str(), error, OpenPafFileMap);
  return result == 0 ? 0 : Fail(path, result, error);
}

// The identity of a file's present contents: a build renames a new file
// into place, so a changed identity shows a new index.
struct FileIdentity {
  bool exists = false;
  dev_t device = 0;
  ino_t inode = 0;
  long long bytes = 0;
  bool operator==(const FileIdentity& o) const {
    return exists == o.exists && device == o.device && inode == o.inode;
  }
};

FileIdentity IdentityOf(const std::string& path) {
  FileIdentity id;
  struct stat status;
  if (stat(path.c_str(), &status) == 0) {
    id.exists = true;
    id.device = status.st_dev;
    id.inode = status.st_ino;
    id.bytes = status.st_size;
  }
  return id;
}

int Build(const GosArguments& a) {
  // The index lies beside the set, named as the reader names the set.
  std::string index;
  {
    ShapeFileReader reader;
    std::string error;
    const int result = reader.Open(a.path, error);
    if (result != 0) return Fail(a.path, result, error);
    index = reader.FileName() + ".gos";
  }
  const FileIdentity before = IdentityOf(index);
  CreateGridOnShapeOptions options;
  options.precision = a.higher ? -2 : a.precision;
  options.filter = a.filter;
  options.progress = ProgressReporter();
  const auto start = std::chrono::steady_clock::now();
  const int result = CreateGridOnShape(a.path, options);
  if (result != 0) return Fail(a.path, result);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  // A set whose records span no area leaves no index to write (and an
  // older one in place).
  const FileIdentity after = IdentityOf(index);
  if (!after.exists || after == before)
    return Fail(a.path, 0, "no index written: the records span no area");
  // The summary reads the index back as any user of it would.
  GridOnShapeFile grid;
  if (OpenIndex(index, grid) != 0) return kExitFailure;
  printf("Index: %s\nColumns: %d\n", index.c_str(), grid.Header().columnCount);
  const int info = grid.ShowInfo(stdout);
  if (info != 0) return Fail(index, info);
  printf("Bytes: %lld\nSeconds: %.3f\n", after.bytes, seconds);
  return kExitDone;
}

int Info(const GosArguments& a) {
  GridOnShapeFile grid;
  if (OpenIndex(a.path, grid) != 0) return kExitFailure;
  const GridOnShapeFileMetaData& h = grid.Header();
  printf("Columns: %d\nCoordinate width: %d\nShape code width: %d\n", h.columnCount,
         h.coordinateWidth, h.shapeCodeWidth);
  const int result = grid.ShowInfo(stdout);
  return result == 0 ? kExitDone : Fail(a.path, result);
}

int Column(const GosArguments& a) {
  GridOnShapeFile grid;
  if (OpenIndex(a.path, grid) != 0) return kExitFailure;
  const int result = grid.DebugAColumn(stdout, a.longitude);
  return result == 0 ? kExitDone : Fail(a.path, result);
}

int Search(const GosArguments& a) {
  double latitude, longitude;
  if (!ParseLatLon(a.point, latitude, longitude)) {
    fprintf(stderr, "zru gos search: not a point LAT,LON: %s\n", a.point.c_str());
    return kExitUsage;
  }
  GridOnShapeFile grid;
  if (OpenIndex(a.path, grid) != 0) return kExitFailure;
  int inside = 0;
  std::vector<int> candidates;
  const int result = grid.Search(latitude, longitude, inside, candidates);
  if (result != 0) return Fail(a.path, result);
  // Shape code n is record n - 1; both are shown as shape codes.
  printf("inside: %d\ncandidates:", inside);
  for (int c : candidates) printf(" %d", c);
  printf("\n");
  return kExitDone;
}

}  // namespace

void AddGosCommands(CLI::App& app, int& status) {
  CLI::App* gos = app.add_subcommand("gos", "Grid index files (.gos) of polygon shapefiles");
  gos->require_subcommand(1);
  auto a = std::make_shared<GosArguments>();

  CLI::App* build = gos->add_subcommand("build", "Build SHAPEFILE's .gos index beside it");
  build->add_option("SHAPEFILE", a->path, "The polygon shapefile (.shp)")->required();
  CLI::Option* precision = build->add_option(
      "--precision", a->precision, "Cells of 10^-N degrees, N from 0 to 4 (default: chosen)");
  precision->check(CLI::Range(0, 4));
  build->add_flag("--higher", a->higher, "A finer grid than the one chosen by default")
      ->excludes(precision);
  build->add_option("--filter", a->filter, "Index only the records whose FIELD=VALUE");
  build->callback([a, &status] { status = Build(*a); });

  CLI::App* info = gos->add_subcommand("info", "Precision, ranges and indexing share of FILE");
  info->add_option("FILE", a->path, "The .gos file")->required();
  info->callback([a, &status] { status = Info(*a); });

  CLI::App* column = gos->add_subcommand("column", "The ranges and shape lists of one column");
  column->add_option("FILE", a->path, "The .gos file")->required();
  column->add_option("LONGITUDE", a->longitude, "A longitude in the column")->required();
  column->callback([a, &status] { status = Column(*a); });

  CLI::App* search = gos->add_subcommand("search", "The shapes that may hold a point");
  search->add_option("FILE", a->path, "The .gos file")->required();
  search->add_option("POINT", a->point, "LAT,LON in degrees")->required();
  search->callback([a, &status] { status = Search(*a); });
}
