// DbfFileReader: the attribute table of a shapefile set, a dBASE table
// (.dbf) with one fixed-length record per shape, in shape order.
//
// Only the record count, header length and record length of the 32-byte
// table header, the 32-byte field descriptors after it, and the records
// (each led by a deletion-flag byte) are used. Values are returned as the
// stored bytes with leading and trailing spaces removed; no code page is
// applied and deleted records read like any other. File format notes:
// docs/dbf_file.md.
//
// Threads: ReadStringAttribute (both forms) may run in any number of threads
// on one open reader. ReadStringAttribute_not_MT shares one record buffer
// and must not overlap any other read. A ShapeAttributeCache belongs to one
// thread at a time. Open and Close must not overlap any read.
#ifndef ZRUTILS_SHAPES_DBF_FILE_READER_H
#define ZRUTILS_SHAPES_DBF_FILE_READER_H

#include <cstdint>
#include <string>
#include <vector>

#include "foundation/export.h"
#include "foundation/mt_file.h"
#include "shapes/recent_records.h"
#include "shapes/shapefile_error.h"

class RecordBytes;

struct DbfFieldDesc {
  std::string name;    // the descriptor's first 11 bytes, cut at the first NUL
  int32_t length = 0;  // width in bytes, cut where it would pass the record's end
  int32_t offset = 0;  // first byte within a record; the first field is at 1
  int32_t decimals = 0;  // 0 for types other than 'N', 'F' and 'D'
  char type = 0;       // the type letter as stored
};

class ZRU_EXPORT DbfFileReader : private ZRNonCopyable {
 public:
  // The 20 most recently used (record, field) values of one thread.
  using ShapeAttributeCache = RecentRecords<std::string>;

  DbfFileReader() = default;
  ~DbfFileReader() { Close(); }

  // Opens the table at path (its full name) and reads its header and field
  // descriptors. On failure errorText holds a message and the result is an
  // MTFile code, or ERR_SHAPEFILE_INVALID_HEADER for a header length below
  // the 32 bytes of the table header.
  int Open(const std::string& path, std::string& errorText, int openType = OpenPafDefault);
  // Closes the file and forgets the header and fields.
  void Close();

  int32_t FieldCount() const { return fieldCount_; }
  int32_t RecordCount() const { return recordCount_; }
  // The field's name; empty for no such field.
  std::string FieldName(int32_t field) const;
  // The field's width; 0 for no such field.
  int32_t FieldSize(int32_t field) const;
  const std::vector<DbfFieldDesc>& Fields() const { return fields_; }
  // The first field whose name equals name ignoring ASCII case; -1 for none.
  int32_t FieldNameToNumber(const std::string& name) const;

  // The value of one field of one record (zero-based). 28007 for no such
  // record (checked first), 28009 for no such field; a failed read returns
  // the MTFile code. value is left unchanged on failure.
  int ReadStringAttribute(int32_t record, int32_t field, std::string& value) const;
  // As above by field name; 28020 for an unknown name.
  int ReadStringAttribute(int32_t record, const std::string& fieldName, std::string& value) const;
  // As above through the shared record buffer, which is read only when the
  // record differs from the last one read: several fields of one record
  // cost one file read. One thread at a time.
  int ReadStringAttribute_not_MT(int32_t record, int32_t field, std::string& value);
  // As above through the caller's cache; on success valuePointer points at
  // the cached value, valid until that cache record is reused. A record or
  // field out of range gives 28007 or 28009 before the cache is looked at.
  int ReadStringAttribute(int32_t record, int32_t field, ShapeAttributeCache& cache,
                          const std::string*& valuePointer) const;

  // One whole record (zero-based) into the caller's bytes, so that several
  // fields of it cost one read from any number of threads: 28007 for no
  // such record, or the file's code. CutValue then takes a field's value
  // (field checked by the caller) from those bytes, as ReadStringAttribute
  // gives it.
  int ReadRecord(int32_t record, RecordBytes& bytes) const;
  void CutValue(const char* recordBytes, int32_t field, std::string& value) const;

 private:
  // The file offset of a record, formed in 64 bits.
  int64_t RecordOffset(int32_t record) const;
  int CheckRange(int32_t record, int32_t field) const;

  MTFile file_;
  int32_t recordCount_ = 0;
  int32_t headerLength_ = 0;
  int32_t recordLength_ = 0;
  int32_t fieldCount_ = 0;
  int32_t currentRecord_ = -1;
  std::vector<char> recordBuffer_;
  std::vector<DbfFieldDesc> fields_;
};

#endif
