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
  // The top level's help is the tool's manual page; the subcommands keep
  // the short footer they were given above.
  app.footer(
      "Synopsis:\n"
      "  zru gos build SHAPEFILE [--precision N | --higher] [--filter FIELD=VALUE]\n"
      "  zru gos info FILE\n"
      "  zru gos column FILE LONGITUDE\n"
      "  zru gos search FILE LAT,LON\n"
      "  zru pip SHAPEFILE LAT,LON|- [--fields a,b] [--names] [--distance]\n"
      "  zru shp info|dump SHAPEFILE\n"
      "  zru dbf dump FILE [--fields a,b]\n"
      "  zru list search FILE TEXT [--insert]\n"
      "  zru hash build KEYS.tsv OUT [--hash oat|lookup3] [--list] [--text TEXT]\n"
      "  zru hash info|table FILE\n"
      "  zru hash get FILE KEY\n"
      "  zru email ADDRESS [--level N] [--nameserver A.B.C.D[:PORT]]\n"
      "  zru count ARF LAT,LON --gif CODE --level S|L [--boundary VALUE] [--range R] [--all]\n"
      "\n"
      "Answers go to standard output; progress, rates and errors to standard error,\n"
      "as \"zru: <what>: error <code>: <text>\" with the library's code and text.\n"
      "\n"
      "Environment:\n"
      "  MORVEL_CONFIG_FILE  the configuration file (settings such as EmailCacheFile)\n"
      "  LD_LIBRARY_PATH     where zru count finds the address-data library libzrpaf.so\n"
      "\n"
      "Exit status: 0 done, 1 failure, 2 usage. Run zru COMMAND --help for more.");
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
