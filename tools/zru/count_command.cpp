// zru count: how the addresses around a point are spread over the values of
// one geographical code, through zruCountBoundaries and the address-data
// library it loads ("libzrpaf.so", found by the loader's search path).
#include <cstdio>
#include <memory>
#include <string>

#include "api/zrutils.h"
#include "tools/zru/zru_cli.h"

namespace {

struct CountArguments {
  std::string arf;
  std::string point;
  std::string gif;
  std::string level;
  std::string boundary;
  std::string range;
  bool all = false;
};

// The entry answers the empty text for an answer that does not fit, so the
// room is ample: at most ten values with their counts and percentages.
constexpr size_t kCountRoom = 64 * 1024;

int Run(const CountArguments& a) {
  double latitude, longitude;
  if (!ParseLatLon(a.point, latitude, longitude)) {
    fprintf(stderr, "zru count: not a point LAT,LON: %s\n", a.point.c_str());
    return kExitUsage;
  }
  // Items end at ';': a value holding one would be read as further items.
  for (const std::string* value : {&a.arf, &a.gif, &a.boundary, &a.range})
    if (value->find(';') != std::string::npos)
      return Fail(*value, -1, "a value holding ';' cannot be passed on");
  if (a.all && !a.boundary.empty()) {
    fprintf(stderr, "zru count: --all and --boundary exclude each other\n");
    return kExitUsage;
  }
  std::string answer;
  int status = CallEntry(zruCountBoundaries, "Initialise", answer);
  if (status != 0) return Fail("address-data library", status, answer);
  // The entry's fixed order of items.
  std::string query = "ARF=" + a.arf + ";GIF=" + a.gif + ";Level=" + a.level +
                      ";LatLong=" + a.point + ";";
  if (!a.boundary.empty()) query += "Boundary=" + a.boundary + ";";
  if (!a.range.empty()) query += "Range=" + a.range + ";";
  if (a.all) query += "All=True;";
  status = CallEntry(zruCountBoundaries, query, answer, kCountRoom);
  const int result = status == 0 ? kExitDone : Fail(a.arf, status, answer);
  if (status == 0) printf("%s\n", answer.c_str());
  std::string finalised;
  CallEntry(zruCountBoundaries, "Finalise", finalised);
  return result;
}

}  // namespace

void AddCountCommand(CLI::App& app, int& status) {
  auto a = std::make_shared<CountArguments>();
  CLI::App* count = app.add_subcommand(
      "count", "How the addresses near a point spread over a code, through zruCountBoundaries");
  count->add_option("ARF", a->arf, "The address file of the address-data library")->required();
  count->add_option("POINT", a->point, "LAT,LON in degrees")->required();
  count->add_option("--gif", a->gif, "The geographical code to count (e.g. Ward)")->required();
  count->add_option("--level", a->level, "S: the nearest address's street; L: its locality")
      ->required()
      ->check(CLI::IsMember({"S", "L"}));
  count->add_option("--boundary", a->boundary,
                    "The code value to count (default: the nearest address's own)");
  count->add_option("--range", a->range,
                    "Search range for the nearest address, in the library's unit (default 2000)");
  count->add_flag("--all", a->all, "Answer every value with its count and percentage");
  count->footer(
      "Answers <value> TAB <count> TAB <percent>; with --all the three lists, comma-separated.\n"
      "libzrpaf.so is loaded through the loader's search path (LD_LIBRARY_PATH).");
  count->callback([a, &status] { status = Run(*a); });
}
