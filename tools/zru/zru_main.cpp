// zru: the operator's command-line tool of ZRUtils. Builds and inspects
// grid index files, answers point-in-shape queries, dumps shapefiles and
// dBASE tables, searches list files, builds and searches hash index files,
// validates e-mail domains and counts boundaries, through the library's
// exported classes and C entry points.
//
// Exit status: 0 done, 1 failure (reported on standard error with the
// library's code and text), 2 usage.
#include <cstdio>

#include "tools/zru/zru_cli.h"

int main(int argc, char** argv) {
  CLI::App app{"zru: the ZRUtils operator's tool", "zru"};
  app.require_subcommand(1);
  app.footer("Exit status: 0 done, 1 failure, 2 usage. Run zru COMMAND --help for more.");
  int status = kExitDone;
  AddGosCommands(app, status);
  AddPipCommand(app, status);
  AddShpCommands(app, status);
  AddDbfCommands(app, status);
  AddListCommands(app, status);
  AddHashCommands(app, status);
  AddEmailCommand(app, status);
  AddCountCommand(app, status);
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    app.exit(e);
    return kExitUsage;
  }
  // Answers on standard output must reach it, or the run failed.
  if (fflush(stdout) != 0 || ferror(stdout)) return Fail("standard output", 0, "write failed");
  return status;
}
