// The dBASE reader on arbitrary table files, held each of the three ways
// (the first byte chooses). Every field of the first records is read by all
// three forms, which must agree: a code is fine, a crash is not.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "shapes/dbf_file_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  static const std::string path =
      std::string(P_tmpdir) + "/zrutils-fuzz-" + std::to_string(getpid()) + ".dbf";
  const int openType = 1 + data[0] % 3;
  FILE* file = fopen(path.c_str(), "wb");
  if (file == nullptr) return 0;
  fwrite(data + 1, 1, size - 1, file);
  fclose(file);

  DbfFileReader reader;
  std::string error;
  if (reader.Open(path, error, openType) != 0) {
    if (error.empty()) abort();
    return 0;
  }
  DbfFileReader::ShapeAttributeCache cache;
  const int32_t records = reader.RecordCount() < 50 ? reader.RecordCount() : 50;
  const int32_t fields = reader.FieldCount() < 50 ? reader.FieldCount() : 50;
  for (int32_t r = -1; r <= records; ++r) {
    for (int32_t f = -1; f <= fields; ++f) {
      std::string direct = "unset", shared = "unset";
      const int a = reader.ReadStringAttribute(r, f, direct);
      const int b = reader.ReadStringAttribute_not_MT(r, f, shared);
      const std::string* cached = nullptr;
      const int c = reader.ReadStringAttribute(r, f, cache, cached);
      if (a != b || a != c) abort();
      if (a == 0 && (direct != shared || cached == nullptr || *cached != direct)) abort();
      if (a == 0 && static_cast<int32_t>(direct.size()) > reader.FieldSize(f)) abort();
    }
  }
  for (int32_t f = 0; f < fields; ++f) {
    const int32_t found = reader.FieldNameToNumber(reader.FieldName(f));
    if (found < 0 || found > f) abort();
  }
  return 0;
}
