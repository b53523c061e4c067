// zru pip: which polygon of a shapefile holds a point, through the
// zruPointInShape entry point, for one point or for "lat,lon" lines read
// from standard input (a batch geocoder in a pipe).
#include <chrono>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "api/zrutils.h"
#include "tools/zru/zru_cli.h"

namespace {

struct PipArguments {
  std::string shapefile;
  std::string point;
  std::string fields;
  bool names = false;
  bool distance = false;
};

// Calls zruPointInShape with parameters, growing the buffer while the
// answer does not fit, so that no answer is ever cut.
int CallPointInShape(const std::string& parameters, std::vector<char>& buffer,
                     std::string& answer) {
  if (buffer.size() < parameters.size() + 1) buffer.resize(parameters.size() + 1);
  for (;;) {
    memcpy(buffer.data(), parameters.c_str(), parameters.size() + 1);
    const int size = static_cast<int>(buffer.size()) - 1;
    const int status = zruPointInShape(buffer.data(), size);
    if (status == ERR_PIP_BUFFER_TOO_SMALL && buffer.size() < (size_t{1} << 30)) {
      buffer.resize(buffer.size() * 2);
      continue;
    }
    answer = buffer.data();
    return status;
  }
}

int Run(const PipArguments& a) {
  double latitude, longitude;
  if (a.point != "-" && !ParseLatLon(a.point, latitude, longitude)) {
    fprintf(stderr, "zru pip: not a point LAT,LON: %s\n", a.point.c_str());
    return kExitUsage;
  }
  // The entry's parameters separate items by ';' and file names by ','.
  if (a.shapefile.find_first_of(";,\t") != std::string::npos)
    return Fail(a.shapefile, 0, "a shapefile path holding ';', ',' or a TAB cannot be passed on");
  std::vector<char> buffer(64 * 1024);
  std::string answer;
  int status = CallPointInShape("OpenShapeFile=" + a.shapefile + ";", buffer, answer);
  if (status != 0) return Fail(a.shapefile, status, answer);

  std::string query = "ShapeFile=" + a.shapefile + ";";
  if (!a.fields.empty()) query += "Fields=" + a.fields + ";";
  if (a.names) query += "FieldNames=True;";
  if (a.distance) query += "Distance=True;";

  int result = kExitDone;
  if (a.point != "-") {
    status = CallPointInShape(query + "LatLong=" + a.point + ";", buffer, answer);
    if (status != 0) result = Fail(a.point, status, answer);
    else printf("%s\n", answer.c_str());
  } else {
    // One answer a line, in input order; a failed point leaves an empty
    // line, so answers stay beside their points, and fails the run.
    int64_t points = 0, failures = 0;
    std::string line;
    const auto start = std::chrono::steady_clock::now();
    while (std::getline(std::cin, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      ++points;
      // A line the entry might read otherwise (another item after a ';')
      // is refused with the entry's own answer to a bad point.
      if (!ParseLatLon(line, latitude, longitude)) {
        status = ERR_PIP_BAD_PARAMETER;
        answer = "Missing or invalid LatLong";
      } else {
        status = CallPointInShape(query + "LatLong=" + line + ";", buffer, answer);
      }
      if (status != 0) {
        ++failures;
        Fail("line " + std::to_string(points), status, answer);
        answer.clear();
      }
      fputs(answer.c_str(), stdout);
      fputc('\n', stdout);
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    fprintf(stderr, "zru pip: %lld points in %.3f s, %.0f points/s\n",
            static_cast<long long>(points), seconds, seconds > 0 ? points / seconds : 0.0);
    if (failures != 0) result = kExitFailure;
  }
  CallPointInShape("CloseShapeFile=" + a.shapefile + ";", buffer, answer);
  return result;
}

}  // namespace

void AddPipCommand(CLI::App& app, int& status) {
  auto a = std::make_shared<PipArguments>();
  CLI::App* pip = app.add_subcommand(
      "pip", "The polygon of SHAPEFILE holding a point, through zruPointInShape");
  pip->add_option("SHAPEFILE", a->shapefile,
                  "The polygon shapefile; its .gos index is built beside it when missing")
      ->required();
  pip->add_option("POINT", a->point,
                  "LAT,LON in degrees, or - to read one LAT,LON a line from standard input "
                  "and write one answer a line (points/s on standard error)")
      ->required();
  pip->add_option("--fields", a->fields, "Fields to answer, as a,b (default: every field)");
  pip->add_flag("--names", a->names, "Answer NAME=value pairs");
  pip->add_flag("--distance", a->distance, "Append |<metres>m, the distance to the edge");
  pip->callback([a, &status] { status = Run(*a); });
}
