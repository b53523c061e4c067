// zru list search: looks a text up in a list file, optionally adding it,
// through the list entry points (zruOpenList, zruSearchList, zruCloseList),
// so the file is read and written back exactly as hosts have it.
#include <cstdio>
#include <memory>
#include <string>

#include "api/zrutils.h"
#include "tools/zru/zru_cli.h"

namespace {

struct ListArguments {
  std::string path;
  std::string text;
  bool insert = false;
};

int Search(const ListArguments& a) {
  // The entries separate items by TABs.
  if (a.path.find('\t') != std::string::npos)
    return Fail(a.path, ERR_LIST_READ, "a path holding a TAB cannot be passed on");
  if (a.text.find('\t') != std::string::npos)
    return Fail(a.path, ERR_LIST_TEXT, "a text holding a TAB cannot be searched");
  std::string handle;
  int status = CallEntry(zruOpenList, "File=" + a.path, handle);
  if (status != 0) return Fail(a.path, status, handle);
  std::string answer;
  status = CallEntry(zruSearchList,
                    handle + "\t" + a.text + (a.insert ? "\tInsertOnNotFound" : ""), answer);
  const int result = status == 0 ? kExitDone : Fail(a.path, status, answer);
  if (status == 0) printf("%s\n", answer.c_str());
  // Writes the file back when the search added the text.
  std::string closeAnswer;
  status = CallEntry(zruCloseList, handle + "\tFile=" + a.path, closeAnswer);
  if (status != 0) return Fail(a.path, status, closeAnswer);
  return result;
}

}  // namespace

void AddListCommands(CLI::App& app, int& status) {
  CLI::App* list = app.add_subcommand("list", "List files (<id> TAB <text> a line)");
  list->require_subcommand(1);
  auto a = std::make_shared<ListArguments>();
  CLI::App* search = list->add_subcommand(
      "search", "Look TEXT up in FILE: answers <id> TAB <text> TAB <marker>, 0 when missing");
  search->add_option("FILE", a->path, "The list file")->required();
  search->add_option("TEXT", a->text, "The text to look up")->required();
  search->add_flag("--insert", a->insert,
                   "Add TEXT when missing (marker New) and write the file back");
  search->callback([a, &status] { status = Search(*a); });
}
