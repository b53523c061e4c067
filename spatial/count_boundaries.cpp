// zruCountBoundaries: loads and unloads the address-data library
// ("Initialise", "Finalise") and counts how the addresses around a point
// are spread over the values of one geographical code.
#include <strings.h>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include <array>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
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

#ifdef __SSE2__
// The set bits of each byte value: a block's delimiters are counted with
// two lookups (a popcount instruction is not part of the base instruction
// set).
constexpr std::array<uint8_t, 256> kBitCounts = [] {
  std::array<uint8_t, 256> counts{};
  for (int i = 1; i < 256; ++i) counts[i] = static_cast<uint8_t>((i & 1) + counts[i / 2]);
  return counts;
}();
#endif

// The position of the k-th d in the record (k from 1), or null. Records
// hold dozens of short fields, so the delimiters are counted sixteen bytes
// at a time where the processor allows it, and byte by byte elsewhere.
const char* NthDelimiter(const RecordBuffer& record, int k, char d) {
  const char* text = record.text;
#ifdef __SSE2__
  const __m128i delimiter = _mm_set1_epi8(d), nul = _mm_setzero_si128();
  for (size_t at = 0; at < sizeof record.text; at += 16) {
    const __m128i block = _mm_load_si128(reinterpret_cast<const __m128i*>(text + at));
    // Bytes from the NUL on do not count: they may be left from a longer
    // record.
    const unsigned ends = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, nul)));
    unsigned hits = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, delimiter)));
    if (ends != 0) hits &= (ends & (0u - ends)) - 1;
    const int count = kBitCounts[hits & 0xff] + kBitCounts[hits >> 8];
    if (count >= k) {
      for (; k > 1; --k) hits &= hits - 1;
      return text + at + __builtin_ctz(hits);
    }
    if (ends != 0) return nullptr;
    k -= count;
  }
  return nullptr;
#else
  for (const char* p = text; *p != '\0'; ++p) {
    if (*p == d && --k == 0) return p;
  }
  return nullptr;
#endif
}

// The end of an address list: an empty record, one that begins with eight
// delimiters, or one of delimiters only.
bool IsBlankRecord(const char* record, char d) {
  size_t leading = 0;
  while (record[leading] == d) ++leading;
  return record[leading] == '\0' || leading >= 8;
}

// count × 100 / total with 4 decimals.
std::string Percent(int64_t count, int64_t total) {
  char text[32];
  snprintf(text, sizeof text, "%.4f", static_cast<double>(count) * 100.0 / static_cast<double>(total));
  return text;
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

// The text of the code after the address fields and the n fields of the
// latitude/longitude code, or null when the record has fewer fields.
const char* CodeValue(const RecordBuffer& record, int n, char d) {
  const char* p = NthDelimiter(record, kAddressFields + n, d);
  return p == nullptr ? nullptr : p + 1;
}

// Whether two texts are equal; inline, since most values are a few bytes
// and a library call per address would cost more than the comparison.
bool SameText(const char* a, const char* b) {
  while (*a != '\0' && *a == *b) ++a, ++b;
  return *a == *b;
}

using Counts = std::map<std::string, int32_t, std::less<>>;

std::string Answer(const std::string& target, int64_t matches, int64_t total, bool all,
                   const Counts& counts) {
  std::string answer;
  if (all && counts.size() <= kMostValues) {
    std::string numbers, percents;
    for (const auto& [value, count] : counts) {
      const char* comma = answer.empty() ? "" : ",";
      answer += comma + value;
      numbers += comma + std::to_string(count);
      percents += comma + Percent(count, total);
    }
    return answer + '\t' + numbers + '\t' + percents;
  }
  answer = target + '\t' + std::to_string(matches) + '\t';
  if (total > 0) answer += Percent(matches, total);
  return answer;
}

int CountBoundaries(char* buffer, int size) {
  const Query q = ReadQuery(buffer);
  if (const char* message = Validate(q)) return Fail(buffer, size, message, -1);
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
  if (d == '\0') return Fail(buffer, size, "Blank Delimiter property", -1);
  if ((code = done(paf.pafGetPropertiesId(id, "GIFFields", record, kRecordSize))) != 0) {
    return ReportPafError(paf, code, buffer, size);
  }
  const char* found = strstr(record, ".Latitude+Longitude");
  if (found == nullptr) return Fail(buffer, size, "No GIF with Latitude+Longitude", -1);
  const char* begin = found;
  while (begin > record && begin[-1] != ';') --begin;
  const std::string spec(begin, strcspn(begin, ";"));
  int n = 1;
  for (char c : spec) n += c == '+';

  if ((code = paf.pafSetGeographicalCodesId(id, (spec + "," + q.gif).c_str())) != 0 ||
      (code = paf.pafSetPropertiesId(id, "LatLongSearchRange",
                                     q.range != nullptr ? q.range : "2000")) != 0) {
    return ReportPafError(paf, code, buffer, size);
  }
  const std::string point =
      std::string(kAddressFields, d) + q.latitude + d + q.longitude;
  if ((code = done(paf.pafGetAddressId(id, point.c_str(), record, kRecordSize))) != 0) {
    return ReportPafError(paf, code, buffer, size);
  }
  std::string target;
  if (q.boundary != nullptr) {
    target = q.boundary;
  } else if (const char* value = CodeValue(walked, n, d)) {
    target = value;
  }
  if (const char* cut = NthDelimiter(walked, q.level[0] == 'L' ? 3 : 7, d)) {
    record[cut - record] = '\0';
  }
  if ((code = done(paf.pafGetAddressId(id, record, record, kRecordSize))) != 0) {
    return ReportPafError(paf, code, buffer, size);
  }
  int64_t total = 0, matches = 0;
  Counts counts;
  Counts::iterator last = counts.end();
  while (!IsBlankRecord(record, d)) {
    const char* value = CodeValue(walked, n, d);
    if (value != nullptr && value[0] != '\0' && value[0] != d) {
      total += 1;
      if (SameText(value, target.c_str())) matches += 1;
      if (q.all) {
        // Neighbouring addresses mostly share their value: the last one
        // counted is tried before the map.
        if (last != counts.end() && SameText(value, last->first.c_str())) {
          last->second += 1;
        } else if ((last = counts.find(std::string_view(value))) != counts.end()) {
          last->second += 1;
        } else if (counts.size() <= kMostValues) {
          // Past ten values the answer is the single form: the eleventh
          // says so, and no more are kept.
          last = counts.emplace(value, 1).first;
        }
      }
    }
    if ((code = done(paf.pafGetNextAddressId(id, record, kRecordSize))) != 0) {
      return ReportPafError(paf, code, buffer, size);
    }
  }
  const std::string answer = Answer(target, matches, total, q.all, counts);
  CopyAnswer(buffer, static_cast<long long>(answer.size()) < size ? answer.c_str() : "", size);
  return 0;
}

}  // namespace

int zruCountBoundaries(char* buffer, int size) {
  if (buffer == nullptr || size < 0) return -1;
  try {
    if (strncasecmp(buffer, "Initialise", 10) == 0) return Initialise(buffer, size);
    if (strncasecmp(buffer, "Finalise", 8) == 0) return Finalise(buffer, size);
    return CountBoundaries(buffer, size);
  } catch (const std::bad_alloc&) {
    return Fail(buffer, size, "Out of memory", -2);
  } catch (...) {
    return Fail(buffer, size, "Internal error", -2);
  }
}
