// zru hash build|info|table|get: hash index files through HashIndex.
// An index stores no keys, so "get" answers candidates: the values of every
// key sharing the probe sequence, for the caller to check.
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "foundation/text_file.h"
#include "hashindex/hash_index.h"
#include "tools/zru/zru_cli.h"

namespace {

struct HashArguments {
  std::string keys;
  std::string path;
  std::string hash = "oat";
  std::string text;
  bool list = false;
  std::string key;
};

// What a pass over the keys file found: the capacities creation needs.
struct KeyCounts {
  uint32_t keys = 0;
  uint32_t values = 0;
  uint64_t largest = 1;
};

// Reads the "key TAB value" lines of path, checking every line, and calls
// insert(key, value) for each. A key's lines one after another
// make one key; without a list every key has one line. Empty lines are
// skipped. Returns the exit status; failures are reported with their line.
template <typename Insert>
int ReadKeys(const HashArguments& a, KeyCounts& counts, Insert insert) {
  SelfClosingFILE in;
  if (!in.Open(a.keys.c_str(), "rb", false)) return Fail(a.keys, ERR_MTFILE_OPEN, strerror(errno));
  counts = KeyCounts();
  std::string line, previous;
  uint64_t number = 0;
  TextLineResult read;
  while ((read = ReadTextLine(in.f(), line)) == TextLineResult::kLine) {
    ++number;
    const std::string where = a.keys + ": line " + std::to_string(number);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    const size_t tab = line.find('\t');
    if (tab == std::string::npos) return Fail(where, 0, "no TAB between key and value");
    const char* text = line.c_str() + tab + 1;
    char* end;
    errno = 0;
    const uint64_t value = strtoull(text, &end, 10);
    // strtoull takes a sign and wraps it: only digits are a value.
    if (*text < '0' || *text > '9' || *end != '\0')
      return Fail(where, ERR_HASHINDEX_BAD_VALUE, "the value is not a whole number");
    // Entries are at most 56 bits wide.
    if (errno == ERANGE || value >> 56 != 0)
      return Fail(where, ERR_HASHINDEX_TOO_WIDE, "the value needs more than 56 bits");
    if (value == 0) return Fail(where, ERR_HASHINDEX_BAD_VALUE, "value 0 cannot be stored");
    // Keys are passed on as C texts.
    if (line.find('\0') < tab) return Fail(where, 0, "a key holding a NUL byte");
    line.resize(tab);
    const bool newKey = counts.values == 0 || line != previous;
    if (!newKey && !a.list)
      return Fail(where, 0, "key '" + line + "' repeats the previous line's: use --list");
    if (counts.values == UINT32_MAX || (newKey && counts.keys == UINT32_MAX))
      return Fail(where, ERR_HASHINDEX_TOO_WIDE, "too many lines");
    ++counts.values;
    if (newKey) ++counts.keys;
    if (value > counts.largest) counts.largest = value;
    const int result = insert(line, value);
    if (result != 0) return Fail(where, result);
    previous.swap(line);
  }
  if (read == TextLineResult::kReadError) return Fail(a.keys, ERR_MTFILE_READ, "read error");
  return kExitDone;
}

// Two passes over the keys file: the first sizes the index, the second
// fills it, so that no line is held in memory.
int Build(const HashArguments& a) {
  if (a.text.size() > 255) {
    fprintf(stderr, "zru hash build: --text: at most 255 bytes\n");
    return kExitUsage;
  }
  KeyCounts counts;
  int status = ReadKeys(a, counts, [](const std::string&, uint64_t) { return 0; });
  if (status != kExitDone) return status;
  HashIndex index;
  int result = a.list ? index.BeginCreateUsingList(a.path.c_str(), counts.largest, counts.values,
                                                   counts.keys)
                      : index.BeginCreate(a.path.c_str(), counts.largest, counts.keys);
  if (result != 0) return Fail(a.path, result);
  result = index.SetHashType(a.hash == "lookup3" ? kHashTypeLookup3 : kHashTypeOneAtATime);
  if (result != 0) return Fail(a.path, result);
  KeyCounts again;
  status = ReadKeys(a, again, [&index](const std::string& key, uint64_t value) {
    return index.Insert(key.c_str(), value);
  });
  if (status != kExitDone) return status;
  // The file changed between the passes: the index would not match it.
  if (again.keys != counts.keys || again.values != counts.values)
    return Fail(a.keys, 0, "the file changed while it was read");
  // The table's size is gone once the file is written.
  const uint32_t slots = index.TableSize();
  const uint32_t bits = index.EntryBits();
  result = index.EndCreate(a.text.empty() ? nullptr : a.text.c_str(), 0, 0, nullptr, 0);
  if (result != 0) return Fail(a.path, result);
  printf("Index: %s\nKeys: %u\nValues: %u\nSlots: %u of %u bits\nHash: %s\n", a.path.c_str(),
         counts.keys, counts.values, slots, bits, a.hash.c_str());
  return kExitDone;
}

// Opens and checks the index at a.path; file must outlive index.
int OpenIndex(const HashArguments& a, MTFile& file, HashIndex& index) {
  char error[256] = "";
  int result = file.Open(a.path.c_str(), OpenPafFileMap, nullptr, error, sizeof error);
  if (result != 0) return Fail(a.path, result, error);
  result = index.BeginRead(&file, 255);
  return result == 0 ? kExitDone : Fail(a.path, result);
}

const char* HashName(uint8_t type) {
  return type == kHashTypeLookup3 ? "lookup3" : type == kHashTypeOneAtATime ? "oat" : "?";
}

int Info(const HashArguments& a) {
  MTFile file;
  HashIndex index;
  const int status = OpenIndex(a, file, index);
  if (status != kExitDone) return status;
  printf("Hash: %s\nData version: %u\nFlags: %016" PRIx64 "\nText: %s\n",
         HashName(index.HashType()), index.GetDataVersion(), index.GetFlags(), index.GetText());
  printf("Keys: %u\nSlots: %u of %u bits\n", index.KeyCount(), index.TableSize(),
         index.EntryBits());
  if (index.UsesList())
    printf("List: %u entries of %u bits, %s encoding\n", index.ListCount(), index.ListBits(),
           index.ListFlag() != 0 ? "flag" : "terminator");
  else
    printf("List: none\n");
  if (index.RangeMultiplier() != 0) printf("Range multiplier: %u\n", index.RangeMultiplier());
  printf("Largest value possible: %" PRIu64 "\nBytes: %llu\n", index.GetMaxValueFound(),
         static_cast<unsigned long long>(file.FileSize()));
  return kExitDone;
}

// Every non-empty slot: its number, '+' when its continue flag is set, and
// its entry (a value, or a list position in an index with a list).
int Table(const HashArguments& a) {
  MTFile file;
  HashIndex index;
  const int status = OpenIndex(a, file, index);
  if (status != kExitDone) return status;
  const uint64_t flag = uint64_t{1} << (index.EntryBits() - 1);
  for (uint32_t slot = 0; slot < index.TableSize(); ++slot) {
    uint64_t entry;
    const int result = index.ReadFromTable(slot, entry);
    if (result != 0) return Fail(a.path, result);
    if (entry != 0)
      printf("%u %c %" PRIu64 "\n", slot, (entry & flag) != 0 ? '+' : ' ', entry & ~flag);
  }
  return kExitDone;
}

// A stored value as the user entered it: a range index stores start and
// length in one number.
std::string ValueText(const HashIndex& index, uint64_t value) {
  const uint32_t m = index.RangeMultiplier();
  if (m == 0) return std::to_string(value);
  const uint64_t start = value / m;
  return std::to_string(start) + "-" + std::to_string(start + value % m);
}

// One line a candidate: its value, or the values of its list group.
int Get(const HashArguments& a) {
  MTFile file;
  HashIndex index;
  const int status = OpenIndex(a, file, index);
  if (status != kExitDone) return status;
  uint32_t slot = HashIndex::iNoHandle;
  do {
    uint64_t value = 0;
    uint32_t listPos = 0;
    int result = index.UsesList() ? index.SearchUsingList(a.key.c_str(), slot, value, listPos)
                                  : index.Search(a.key.c_str(), slot, value);
    if (result != 0) return Fail(a.path, result);
    if (value == 0) continue;
    std::string line = ValueText(index, value);
    while (listPos != 0) {
      result = index.GetNextInList(listPos, value);
      if (result != 0) return Fail(a.path, result);
      if (value == 0) break;
      line += " " + ValueText(index, value);
    }
    printf("%s\n", line.c_str());
  } while (slot != HashIndex::iNoHandle);
  return kExitDone;
}

}  // namespace

void AddHashCommands(CLI::App& app, int& status) {
  CLI::App* hash = app.add_subcommand("hash", "Hash index files: text keys to numbers");
  hash->require_subcommand(1);
  auto a = std::make_shared<HashArguments>();

  CLI::App* build = hash->add_subcommand(
      "build", "Build OUT from KEYS.tsv, one KEY TAB VALUE a line (values 1 and up)");
  build->add_option("KEYS.tsv", a->keys, "The keys file; a key's lines one after another")
      ->required();
  build->add_option("OUT", a->path, "The index file to write (replaced only when whole)")
      ->required();
  build->add_option("--hash", a->hash, "The hash function (default oat)")
      ->check(CLI::IsMember({"oat", "lookup3"}));
  build->add_flag("--list", a->list, "Allow several values a key (a value list)");
  build->add_option("--text", a->text, "A description stored in the header (255 bytes at most)");
  build->callback([a, &status] { status = Build(*a); });

  CLI::App* info = hash->add_subcommand("info", "The header and counts of an index");
  info->add_option("FILE", a->path, "The index file")->required();
  info->callback([a, &status] { status = Info(*a); });

  CLI::App* table = hash->add_subcommand(
      "table", "Every non-empty slot: number, + for a continue flag, entry");
  table->add_option("FILE", a->path, "The index file")->required();
  table->callback([a, &status] { status = Table(*a); });

  CLI::App* get = hash->add_subcommand(
      "get", "The candidates of KEY, one a line (their values; ranges as START-END)");
  get->add_option("FILE", a->path, "The index file")->required();
  get->add_option("KEY", a->key, "The key to look up")->required();
  get->callback([a, &status] { status = Get(*a); });
}
