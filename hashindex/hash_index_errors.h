// Result codes of hash index reading and creation (0 is success). MTFile's
// codes pass through unchanged.
#ifndef ZRUTILS_HASHINDEX_HASH_INDEX_ERRORS_H
#define ZRUTILS_HASHINDEX_HASH_INDEX_ERRORS_H

enum : int {
  ERR_HASHINDEX_NO_MEMORY = 4800,         // table, user data or text cannot be allocated
  ERR_HASHINDEX_TOO_WIDE = 4801,          // a width above 56 bits, a capacity or table beyond
                                          // 32 bits, or a header field too long for its place
  ERR_HASHINDEX_CREATE = 4802,            // the value-list file or the index cannot be created
  ERR_HASHINDEX_WRITE = 4803,             // a write, flush, close or rename failed
  ERR_HASHINDEX_BAD_VALUE = 4804,         // value 0, or above the largest value allowed
  ERR_HASHINDEX_FULL = 4805,              // more keys or list entries than the capacities
  ERR_HASHINDEX_FORMAT_VERSION = 4806,    // format version above 1
  ERR_HASHINDEX_HASH_TYPE = 4807,         // hash type not 1 or 2
  ERR_HASHINDEX_APPEND_WIDTH = 4808,      // AppendBits of more than 56 bits
  ERR_HASHINDEX_REOPEN_LIST = 4809,       // the value-list file cannot be read back
  ERR_HASHINDEX_NO_LIST = 4810,           // list operation on an index without a list
  ERR_HASHINDEX_MAGIC = 4811,             // not a hash index file
  ERR_HASHINDEX_HEADER_LENGTH = 4812,     // header length below 54
  ERR_HASHINDEX_BAD_SECTIONS = 4813,      // widths, table size or sections impossible or
                                          // beyond the file
  ERR_HASHINDEX_HEADER_OVERFLOW = 4814,   // user data and text do not fit in the header
  ERR_HASHINDEX_MARKER1 = 4815,           // marker after the header missing
  ERR_HASHINDEX_MARKER2 = 4816,           // marker after the table missing
  ERR_HASHINDEX_MARKER3 = 4817,           // marker after the value list missing
  ERR_HASHINDEX_LIST_FLAG = 4818,         // list value without its group-start flag
  ERR_HASHINDEX_BAD_CALL = 4819,          // call out of order (index neither read nor being
                                          // created as the call needs) or a null user data
                                          // block with a size
  ERR_HASHINDEX_NOT_SUPPORTED = 4820,     // Search2
  ERR_HASHINDEX_SLOT_RANGE = 4821,        // table slot out of range
  ERR_HASHINDEX_LIST_RANGE = 4822,        // list position out of range
  ERR_HASHINDEX_NOT_ANSWERED = 4823,      // SearchNext before the last candidate was answered
  ERR_HASHINDEX_RANGE_ORDER = 4824,       // InsertRange with start after end
  ERR_HASHINDEX_RANGE_LENGTH = 4825,      // InsertRange longer than the index allows
  ERR_HASHINDEX_DATA_VERSION = 4826,      // data version newer than the reader accepts
  ERR_HASHINDEX_BIT_POSITION = 4827,      // bit position beyond the 32-bit byte range
};

#endif
