// zruCountBoundaries: loads and unloads the address-data library
// ("Initialise", "Finalise") and counts how the addresses around a point
// are spread over the values of one geographical code.
#include <strings.h>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include <algorithm>
#include <array>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <string_view>

#include "api/zrutils.h"
#include "foundation/copy_answer.h"
#include "foundation/next_parameter.h"
#include "spatial/paf_library.h"

namespace {

// Record buffers of the address-data library: 4095 characters and a NUL.
constexpr int kRecordSize = 4095;
// Fields of an address before the codes that the query sets.
constexpr int kAddressFields = 42;
// Distinct values the distribution answer may list.
constexpr size_t kMostValues = 10;

int Fail(char* buffer, int size, const char* text, int status) {
  CopyAnswer(buffer, text, size);
  return status;
}

// A record buffer of the address-data library: 4095 characters and a NUL,
// aligned so that it can be read in aligned 16-byte blocks to its end.
struct alignas(16) RecordBuffer {
  char text[kRecordSize + 1];
};

// The position of the k-th d in text (k from 1), or null.
const char* NthDelimiter(const char* text, int k, char d) {
  for (const char* p = text; *p != '\0'; ++p) {
    if (*p == d && --k == 0) return p;
  }
  return nullptr;
}

#ifdef __SSE2__
// The set bits of each byte value (a popcount instruction is not part of
// the base instruction set).
constexpr std::array<uint8_t, 256> kBitCounts = [] {
  std::array<uint8_t, 256> counts{};
  for (int i = 1; i < 256; ++i) counts[i] = static_cast<uint8_t>((i & 1) + counts[i / 2]);
  return counts;
}();

int BitCount16(unsigned mask) { return kBitCounts[mask & 0xff] + kBitCounts[mask >> 8]; }

// The delimiters of the aligned block at text as bits.
unsigned DelimiterBits(const char* text, __m128i delimiter) {
  const __m128i block = _mm_load_si128(reinterpret_cast<const __m128i*>(text));
  return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, delimiter)));
}
#endif

// The rest of the record after its k-th delimiter (k from 1), as a view
// into the record; a null view when the record has fewer delimiters.
// Called for every address walked, so it reads the record once, sixteen
// bytes at a time where the processor allows it: delimiters are counted in
// byte lanes up to the block holding the NUL, and the wanted one is then
// found back from the end, where the codes lie.
std::string_view TextAfter(const RecordBuffer& record, int k, char d) {
  const char* text = record.text;
#ifdef __SSE2__
  const __m128i delimiter = _mm_set1_epi8(d), zero = _mm_setzero_si128();
  // The buffer's last byte is a NUL, so at most 255 blocks come before the
  // one holding it: a byte lane cannot overflow. Two blocks a step, one
  // test for a NUL in either.
  __m128i lanes = zero;
  size_t at = 0;
  for (;; at += 32) {
    const __m128i first = _mm_load_si128(reinterpret_cast<const __m128i*>(text + at));
    const __m128i second = _mm_load_si128(reinterpret_cast<const __m128i*>(text + at + 16));
    if (_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(first, second), zero)) != 0) break;
    lanes = _mm_sub_epi8(lanes, _mm_cmpeq_epi8(first, delimiter));
    lanes = _mm_sub_epi8(lanes, _mm_cmpeq_epi8(second, delimiter));
  }
  __m128i block = _mm_load_si128(reinterpret_cast<const __m128i*>(text + at));
  unsigned ends = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, zero)));
  if (ends == 0) {
    lanes = _mm_sub_epi8(lanes, _mm_cmpeq_epi8(block, delimiter));
    at += 16;
    block = _mm_load_si128(reinterpret_cast<const __m128i*>(text + at));
    ends = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, zero)));
  }
  const size_t end = at + static_cast<size_t>(__builtin_ctz(ends));
  // Bytes from the NUL on may be left from a longer record.
  unsigned bits = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, delimiter))) &
                  ((ends & (0u - ends)) - 1);
  const __m128i sums = _mm_sad_epu8(lanes, zero);
  const int total = _mm_cvtsi128_si32(sums) + _mm_extract_epi16(sums, 4) + BitCount16(bits);
  if (total < k) return {};
  // The wanted delimiter has total - k others after it.
  for (int after = total - k;;) {
    const int count = BitCount16(bits);
    if (count > after) {
      for (; after > 0; --after) bits &= ~(1u << (31 - __builtin_clz(bits)));
      const size_t begin = at + static_cast<size_t>(31 - __builtin_clz(bits)) + 1;
      return std::string_view(text + begin, end - begin);
    }
    after -= count;
    at -= 16;
    bits = DelimiterBits(text + at, delimiter);
  }
#else
  const char* begin = nullptr;
  const char* p = text;
  for (int seen = 0; *p != '\0'; ++p) {
    if (*p == d && ++seen == k) begin = p + 1;
  }
  return begin == nullptr ? std::string_view() : std::string_view(begin, p - begin);
#endif
}

// The end of an address list: an empty record, one that begins with eight
// delimiters, or one of delimiters only.
bool IsBlankRecord(const char* record, char d) {
  size_t leading = 0;
  while (record[leading] == d) ++leading;
  return record[leading] == '\0' || leading >= 8;
}

// count × 100 / total with 4 decimals, as "%.4f" writes it in the C
// locale (a snprintf per value cost more than a small walk).
std::string Percent(int64_t count, int64_t total) {
  char text[32];
  const double percent = static_cast<double>(count) * 100.0 / static_cast<double>(total);
  return std::string(text, std::to_chars(text, text + sizeof text, percent,
                                         std::chars_format::fixed, 4).ptr);
}

// An ARF opened by a call, closed on every way out of it.
class OpenArf {
 public:
  explicit OpenArf(const PafLibWrapper& library) : library_(library) {}
  ~OpenArf() {
    if (open_) library_.pafClosePafId(id_);
  }
  OpenArf(const OpenArf&) = delete;
  OpenArf& operator=(const OpenArf&) = delete;

  int Open(const char* path) {
    int code = library_.pafOpenArfId(&id_, FileMapArfsMode(), path);
    open_ = code == 0;
    return code;
  }
  // Hands the ARF over to the caller, who closes it.
  int Release() {
    open_ = false;
    return id_;
  }
  int id() const { return id_; }

 private:
  const PafLibWrapper& library_;
  int id_ = 0;
  bool open_ = false;
};

// The library's description of code as the answer; its text is not
// trusted to be terminated, so it is read from a bounded buffer.
int ReportPafError(const PafLibWrapper& library, int code, char* buffer, int size) {
  char text[kRecordSize + 1] = "";
  library.pafGetErrorDescription(text, code, kRecordSize);
  text[kRecordSize] = '\0';
  CopyAnswer(buffer, text, size);
  return code;
}

int Initialise(char* buffer, int size) {
  // The path lies in the caller's buffer, which the answer overwrites only
  // after the open.
  const char* path = buffer[10] == ';' && buffer[11] != '\0' ? buffer + 11 : nullptr;
  char message[256];
  int code = 0;
  PafLibraryUse use(message, code);
  if (code != 0) return Fail(buffer, size, message, code);
  ReadFileMapArfsSetting();
  std::string answer;
  if (path != nullptr) {
    OpenArf arf(use.Library());
    if (arf.Open(path) == 0) {
      answer = std::to_string(arf.id());
      // An id the caller cannot read would be an ARF nobody can close.
      if (static_cast<long long>(answer.size()) <= size) {
        arf.Release();
      } else {
        answer.clear();
      }
    }
  }
  CopyAnswer(buffer, answer, size);
  return 0;
}

int Finalise(char* buffer, int size) {
  // An id past the range of int names no ARF.
  const long number = buffer[8] == ';' ? strtol(buffer + 9, nullptr, 10) : 0;
  const int id = number >= INT_MIN && number <= INT_MAX ? static_cast<int>(number) : 0;
  if (id != 0) {
    PafLibraryUse use;
    if (!use.Held()) return Fail(buffer, size, kPafNotInitialised, ERR_LIBRARY_NOT_LOADED);
    use.Library().pafClosePafId(id);
  }
  FinalisePafLibrary();
  return 0;
}

struct Query {
  const char *arf = nullptr, *gif = nullptr, *level = nullptr, *latitude = nullptr,
             *longitude = nullptr, *boundary = nullptr, *range = nullptr;
  bool all = false;
};

// Reads the items in their fixed order: each key is looked for only after
// the ones before it, and the first item that is not a later key ends the
// reading.
Query ReadQuery(char* buffer) {
  static const char* const kKeys[] = {"ARF",      "GIF",   "Level", "LatLong",
                                      "Boundary", "Range", "All"};
  Query q;
  char *cursor = buffer, *key, *value;
  size_t next = 0;
  while (next < 7 && NextParameter(cursor, key, value)) {
    while (next < 7 && strcasecmp(key, kKeys[next]) != 0) ++next;
    switch (next) {
      case 0: q.arf = value; break;
      case 1: q.gif = value; break;
      case 2: q.level = value; break;
      case 3:
        q.latitude = value;
        if (char* comma = strchr(value, ',')) {
          *comma = '\0';
          q.longitude = comma + 1;
        }
        break;
      case 4: q.boundary = value; break;
      case 5: q.range = value; break;
      case 6: q.all = strcasecmp(value, "True") == 0; break;
      default: return q;
    }
    ++next;
  }
  return q;
}

const char* Validate(const Query& q) {
  if (q.arf == nullptr) return "Missing ARF parameter";
  if (q.gif == nullptr) return "Missing GIF parameter";
  if (q.level == nullptr) return "Missing Level parameter";
  if (q.level[0] != 'S' && q.level[0] != 'L') return "Level parameter must be S or L";
  if (q.latitude == nullptr || q.latitude[0] == '\0' || q.longitude == nullptr ||
      q.longitude[0] == '\0') {
    return "Missing latitude or longitude parameter";
  }
  if (q.range != nullptr) {
    // "nan" and "inf" read as numbers but bound no search.
    const double range = atof(q.range);
    if (!(range > 0) || !std::isfinite(range)) return "Invalid Range parameter";
  }
  if (q.all && q.boundary != nullptr) return "'All' option incompatible with input boundary";
  return nullptr;
}

// The distinct values of a walk and their counts, for the "All" answer.
// It keeps one value more than the answer may list: an eleventh makes the
// answer the single form. A value is copied once, when first met; the last
// value found is tried first, since neighbouring addresses mostly share it.
class ValueTally {
 public:
  void Add(std::string_view value) {
    if (last_ < size_ && values_[last_].text == value) {
      values_[last_].count += 1;
      return;
    }
    for (size_t i = 0; i < size_; ++i) {
      if (values_[i].text == value) {
        values_[i].count += 1;
        last_ = i;
        return;
      }
    }
    if (size_ < values_.size()) {
      values_[size_].text.assign(value);
      values_[size_].count = 1;
      last_ = size_++;
    }
  }

  // The answer "values<TAB>counts<TAB>percentages", values in byte-wise
  // order; false, with nothing written, past kMostValues values.
  bool Answer(int64_t total, std::string& answer) {
    if (size_ > kMostValues) return false;
    std::sort(values_.begin(), values_.begin() + size_,
              [](const Value& a, const Value& b) { return a.text < b.text; });
    std::string numbers, percents;
    for (size_t i = 0; i < size_; ++i) {
      const char* comma = i == 0 ? "" : ",";
      answer += comma + values_[i].text;
      numbers += comma + std::to_string(values_[i].count);
      percents += comma + Percent(values_[i].count, total);
    }
    answer += '\t' + numbers + '\t' + percents;
    return true;
  }

 private:
  struct Value {
    std::string text;
    int64_t count = 0;
  };
  std::array<Value, kMostValues + 1> values_;
  size_t size_ = 0, last_ = 0;
};

int CountBoundaries(char* buffer, int size) {
  const Query q = ReadQuery(buffer);
  if (const char* message = Validate(q)) return Fail(buffer, size, message, ERR_COUNT_BAD_PARAMETER);
  PafLibraryUse use;
  if (!use.Held()) return Fail(buffer, size, kPafNotInitialised, ERR_LIBRARY_NOT_LOADED);
  const PafLibWrapper& paf = use.Library();
  OpenArf arf(paf);
  int code = arf.Open(q.arf);
  if (code != 0) return ReportPafError(paf, code, buffer, size);
  const int id = arf.id();

  // Every text the library writes is cut at the buffer's last byte before
  // it is read: the library is not trusted to terminate it.
  RecordBuffer walked{};
  char* record = walked.text;
  const auto done = [&](int result) {
    record[kRecordSize] = '\0';
    return result;
  };
  if ((code = done(paf.pafGetPropertiesId(id, "Delimiter", record, kRecordSize))) != 0) {
    return ReportPafError(paf, code, buffer, size);
  }
  const char d = record[0];
  if (d == '\0') return Fail(buffer, size, "Blank Delimiter property", ERR_COUNT_BAD_PARAMETER);
  if ((code = done(paf.pafGetPropertiesId(id, "GIFFields", record, kRecordSize))) != 0) {
    return ReportPafError(paf, code, buffer, size);
  }
  const char* found = strstr(record, ".Latitude+Longitude");
  if (found == nullptr) return Fail(buffer, size, "No GIF with Latitude+Longitude", ERR_COUNT_BAD_PARAMETER);
  const char* begin = found;
  while (begin > record && begin[-1] != ';') --begin;
  const std::string codeSet(begin, strcspn(begin, ";"));
  int n = 1;
  for (char c : codeSet) n += c == '+';

  if ((code = paf.pafSetGeographicalCodesId(id, (codeSet + "," + q.gif).c_str())) != 0 ||
      (code = paf.pafSetPropertiesId(id, "LatLongSearchRange",
                                     q.range != nullptr ? q.range : "2000")) != 0) {
    return ReportPafError(paf, code, buffer, size);
  }
  const std::string point =
      std::string(kAddressFields, d) + q.latitude + d + q.longitude;
  if ((code = done(paf.pafGetAddressId(id, point.c_str(), record, kRecordSize))) != 0) {
    return ReportPafError(paf, code, buffer, size);
  }
  // The code's value follows the address fields and the n fields of the
  // latitude/longitude code.
  const int valueAfter = kAddressFields + n;
  std::string target;
  if (q.boundary != nullptr) {
    target = q.boundary;
  } else {
    target = TextAfter(walked, valueAfter, d);
  }
  if (const char* cut = NthDelimiter(record, q.level[0] == 'L' ? 3 : 7, d)) {
    record[cut - record] = '\0';
  }
  if ((code = done(paf.pafGetAddressId(id, record, record, kRecordSize))) != 0) {
    return ReportPafError(paf, code, buffer, size);
  }
  // The walk: nothing is allocated, locked or copied per address; values
  // are compared where they lie in the record buffer.
  int64_t total = 0, matches = 0;
  ValueTally tally;
  while (!IsBlankRecord(record, d)) {
    const std::string_view value = TextAfter(walked, valueAfter, d);
    if (!value.empty() && value[0] != d) {
      total += 1;
      if (value == target) matches += 1;
      if (q.all) tally.Add(value);
    }
    if ((code = done(paf.pafGetNextAddressId(id, record, kRecordSize))) != 0) {
      return ReportPafError(paf, code, buffer, size);
    }
  }
  std::string answer;
  if (!q.all || !tally.Answer(total, answer)) {
    answer = target + '\t' + std::to_string(matches) + '\t';
    if (total > 0) answer += Percent(matches, total);
  }
  CopyAnswer(buffer, static_cast<long long>(answer.size()) < size ? answer.c_str() : "", size);
  return 0;
}

}  // namespace

int zruCountBoundaries(char* buffer, int size) {
  if (buffer == nullptr || size < 0) return ERR_COUNT_BAD_PARAMETER;
  try {
    if (strncasecmp(buffer, "Initialise", 10) == 0) return Initialise(buffer, size);
    if (strncasecmp(buffer, "Finalise", 8) == 0) return Finalise(buffer, size);
    return CountBoundaries(buffer, size);
  } catch (const std::bad_alloc&) {
    return Fail(buffer, size, "Out of memory", ERR_COUNT_INTERNAL);
  } catch (...) {
    return Fail(buffer, size, "Internal error", ERR_COUNT_INTERNAL);
  }
}
