#include "shapes/dbf_file_reader.h"

#include <strings.h>

#include <algorithm>

#include "foundation/byte_order.h"
#include "shapes/record_bytes.h"
#include "text/string_edit.h"

namespace {

constexpr int32_t kTableHeaderSize = 32;
constexpr int32_t kDescriptorSize = 32;

}  // namespace

int DbfFileReader::Open(const std::string& path, std::string& errorText, int openType) {
  // Nothing of an earlier table may survive into this one.
  Close();
  char errorBuffer[256] = {};
  int result = file_.Open(path.c_str(), openType, nullptr, errorBuffer, sizeof errorBuffer);
  if (result != 0) {
    errorText = errorBuffer[0] != '\0' ? errorBuffer : "Cannot open shape file: " + path;
    return result;
  }
  unsigned char header[kTableHeaderSize];
  result = file_.Read(header, 0, kTableHeaderSize, nullptr);
  if (result != 0) {
    errorText = "Shape file read error. " + path;
    return result;
  }
  // A header length below the table header itself would make the record
  // offsets and the descriptor count meaningless.
  const int32_t headerLength = ReadLittleEndian16(header + 8);
  if (headerLength < kTableHeaderSize) {
    errorText = "Invalid shape file. " + path;
    return ERR_SHAPEFILE_INVALID_HEADER;
  }
  recordCount_ = ReadLittleEndianS32(header + 4);
  headerLength_ = headerLength;
  recordLength_ = ReadLittleEndian16(header + 10);
  fieldCount_ = (headerLength_ - kTableHeaderSize) / kDescriptorSize;
  currentRecord_ = -1;
  recordBuffer_.assign(static_cast<size_t>(recordLength_), '\0');

  RecordBytes descriptors;
  result = descriptors.Read(file_, kTableHeaderSize, headerLength_ - kTableHeaderSize);
  if (result != 0) {
    errorText = "Shape file read error. " + path;
    return result;
  }
  fields_.resize(static_cast<size_t>(fieldCount_));
  int32_t offset = 1;  // after the deletion flag
  for (int32_t i = 0; i < fieldCount_; ++i) {
    const unsigned char* d = descriptors.data() + kDescriptorSize * i;
    DbfFieldDesc& field = fields_[static_cast<size_t>(i)];
    const char* name = reinterpret_cast<const char*>(d);
    field.name.assign(name, std::find(name, name + 11, '\0'));
    field.type = static_cast<char>(d[11]);
    if (field.type == 'N' || field.type == 'F' || field.type == 'D') {
      field.length = d[16];
      field.decimals = d[17];
    } else {
      // Character fields keep their width in two bytes, up to 65,535.
      field.length = d[16] + 256 * d[17];
      field.decimals = 0;
    }
    // Descriptors wider than the record are cut at its end, so no value is
    // ever taken from outside the record.
    field.offset = std::min(offset, recordLength_);
    field.length = std::min(field.length, recordLength_ - field.offset);
    offset += field.length;
  }
  return 0;
}

void DbfFileReader::Close() {
  file_.Close();
  recordCount_ = 0;
  headerLength_ = 0;
  recordLength_ = 0;
  fieldCount_ = 0;
  currentRecord_ = -1;
  recordBuffer_.clear();
  fields_.clear();
}

std::string DbfFileReader::FieldName(int32_t field) const {
  if (field < 0 || field >= static_cast<int32_t>(fields_.size())) return std::string();
  return fields_[static_cast<size_t>(field)].name;
}

int32_t DbfFileReader::FieldSize(int32_t field) const {
  if (field < 0 || field >= static_cast<int32_t>(fields_.size())) return 0;
  return fields_[static_cast<size_t>(field)].length;
}

int32_t DbfFileReader::FieldNameToNumber(const std::string& name) const {
  for (size_t i = 0; i < fields_.size(); ++i)
    if (strcasecmp(fields_[i].name.c_str(), name.c_str()) == 0) return static_cast<int32_t>(i);
  return -1;
}

int64_t DbfFileReader::RecordOffset(int32_t record) const {
  return int64_t{headerLength_} + int64_t{recordLength_} * record;
}

int DbfFileReader::CheckRange(int32_t record, int32_t field) const {
  if (record < 0 || record >= recordCount_) return ERR_SHAPEFILE_INVALID_RECORD_NUM;
  if (field < 0 || field >= fieldCount_) return ERR_SHAPEFILE_INVALID_FIELD_NUM;
  return 0;
}

void DbfFileReader::CutValue(const char* recordBytes, int32_t field, std::string& value) const {
  const DbfFieldDesc& desc = fields_[static_cast<size_t>(field)];
  value.assign(recordBytes + desc.offset, static_cast<size_t>(desc.length));
  TrimMe(value);
}

int DbfFileReader::ReadStringAttribute(int32_t record, int32_t field, std::string& value) const {
  int result = CheckRange(record, field);
  if (result != 0) return result;
  RecordBytes bytes;
  result = ReadRecord(record, bytes);
  if (result != 0) return result;
  CutValue(reinterpret_cast<const char*>(bytes.data()), field, value);
  return 0;
}

int DbfFileReader::ReadRecord(int32_t record, RecordBytes& bytes) const {
  if (record < 0 || record >= recordCount_) return ERR_SHAPEFILE_INVALID_RECORD_NUM;
  return bytes.Read(file_, RecordOffset(record), recordLength_);
}

int DbfFileReader::ReadStringAttribute(int32_t record, const std::string& fieldName,
                                       std::string& value) const {
  const int32_t field = FieldNameToNumber(fieldName);
  if (field < 0) return ERR_SHAPEFILE_NO_SUCH_FIELD;
  return ReadStringAttribute(record, field, value);
}

int DbfFileReader::ReadStringAttribute_not_MT(int32_t record, int32_t field, std::string& value) {
  int result = CheckRange(record, field);
  if (result != 0) return result;
  if (record != currentRecord_) {
    const int64_t offset = RecordOffset(record);
    if (offset + recordLength_ > file_.FileSize()) return ERR_MTFILE_PAST_END;
    result = file_.Read(recordBuffer_.data(), static_cast<int32_t>(offset), recordLength_, nullptr);
    if (result != 0) return result;
    currentRecord_ = record;
  }
  CutValue(recordBuffer_.data(), field, value);
  return 0;
}

int DbfFileReader::ReadStringAttribute(int32_t record, int32_t field, ShapeAttributeCache& cache,
                                       const std::string*& valuePointer) const {
  // Checked first so that a negative record or field can never match a
  // free cache record (-1, -1).
  int result = CheckRange(record, field);
  if (result != 0) return result;
  return cache.Get(
      record, field, [&](std::string& value) { return ReadStringAttribute(record, field, value); },
      valuePointer);
}
