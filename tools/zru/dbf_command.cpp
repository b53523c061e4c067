// zru dbf dump: a dBASE table as CSV (RFC 4180: a header line of field
// names, CRLF line ends, a value quoted when it holds a comma, a quote or a
// line break, its quotes doubled), through DbfFileReader. Values are
// written in UTF-8: a value that is not valid UTF-8 is read as
// Windows-1252, the usual code page of such tables.
#include <climits>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "shapes/dbf_file_reader.h"
#include "text/unicode.h"
#include "tools/zru/zru_cli.h"

namespace {

struct DbfArguments {
  std::string path;
  std::vector<std::string> fields;
};

void WriteCsvValue(const std::string& value) {
  // Any bad sequence makes the value Windows-1252 (pure ASCII reads alike
  // either way).
  const std::string utf8 = IsStringUtf8(value, INT_MAX) ? value : Windows1252ToUtf8(value);
  if (utf8.find_first_of(",\"\r\n") == std::string::npos) {
    fputs(utf8.c_str(), stdout);
    return;
  }
  fputc('"', stdout);
  for (char c : utf8) {
    if (c == '"') fputc('"', stdout);
    fputc(c, stdout);
  }
  fputc('"', stdout);
}

int Dump(const DbfArguments& a) {
  DbfFileReader dbf;
  std::string error;
  int result = dbf.Open(a.path, error, OpenPafFileMap);
  if (result != 0) return Fail(a.path, result, error);
  std::vector<int32_t> columns;
  if (a.fields.empty()) {
    for (int32_t field = 0; field < dbf.FieldCount(); ++field) columns.push_back(field);
  } else {
    for (const std::string& name : a.fields) {
      const int32_t field = dbf.FieldNameToNumber(name);
      if (field < 0) return Fail(a.path + " field " + name, ERR_SHAPEFILE_NO_SUCH_FIELD);
      columns.push_back(field);
    }
  }
  for (size_t i = 0; i < columns.size(); ++i) {
    if (i != 0) fputc(',', stdout);
    WriteCsvValue(dbf.FieldName(columns[i]));
  }
  fputs("\r\n", stdout);
  std::string value;
  for (int32_t record = 0; record < dbf.RecordCount(); ++record) {
    for (size_t i = 0; i < columns.size(); ++i) {
      // One file read a record: the reader keeps the last record read.
      result = dbf.ReadStringAttribute_not_MT(record, columns[i], value);
      if (result != 0) return Fail(a.path + " record " + std::to_string(record), result);
      if (i != 0) fputc(',', stdout);
      WriteCsvValue(value);
    }
    fputs("\r\n", stdout);
  }
  return kExitDone;
}

}  // namespace

void AddDbfCommands(CLI::App& app, int& status) {
  CLI::App* dbf = app.add_subcommand("dbf", "dBASE attribute tables (.dbf)");
  dbf->require_subcommand(1);
  auto a = std::make_shared<DbfArguments>();
  CLI::App* dump = dbf->add_subcommand("dump", "The table as CSV (RFC 4180, UTF-8)");
  dump->add_option("FILE", a->path, "The .dbf file")->required();
  dump->add_option("--fields", a->fields, "Fields to write, in this order, as a,b (any case)")
      ->delimiter(',');
  dump->callback([a, &status] { status = Dump(*a); });
}
