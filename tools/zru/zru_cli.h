// zru_cli: what the subcommand families of the `zru` tool share: their
// registration with the argument parser, exit statuses, error reports and
// the parsing of a "LAT,LON" point.
#ifndef ZRUTILS_TOOLS_ZRU_ZRU_CLI_H
#define ZRUTILS_TOOLS_ZRU_ZRU_CLI_H

#include <string>
#include <vector>

#include <CLI/CLI.hpp>

// Exit statuses of the tool.
enum : int { kExitDone = 0, kExitFailure = 1, kExitUsage = 2 };

// Each family adds its subcommands to app. A subcommand that runs stores
// its exit status in status.
void AddGosCommands(CLI::App& app, int& status);
void AddPipCommand(CLI::App& app, int& status);
void AddShpCommands(CLI::App& app, int& status);
void AddDbfCommands(CLI::App& app, int& status);
void AddListCommands(CLI::App& app, int& status);
void AddHashCommands(CLI::App& app, int& status);
void AddEmailCommand(CLI::App& app, int& status);
void AddCountCommand(CLI::App& app, int& status);

// Writes "zru: <context>: error <code>: <text>" on standard error ("zru:
// <context>: <text>" for code 0, a failure of the tool's own) and returns
// kExitFailure. An empty text is replaced by the code's meaning
// from CodeText, when it knows one.
int Fail(const std::string& context, int code, const std::string& text = std::string());

// The meaning of a toolkit result code (file, shapefile, grid index, hash
// index); empty for a code it does not know. The entry points answer their own texts.
std::string CodeText(int code);

// Calls a C entry point with parameters in a buffer of their size plus
// room bytes, and copies its answer; returns the entry's status. room must
// hold any answer the entry gives for them (an answer that does not fit is
// cut or emptied by the entry).
int CallEntry(int (*entry)(char*, int), const std::string& parameters, std::string& answer,
              size_t room = 4096);

// "LAT,LON" (spaces around either number allowed): true when both are
// finite numbers.
bool ParseLatLon(const std::string& text, double& latitude, double& longitude);

#endif
