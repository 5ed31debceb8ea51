// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The command line: every command runs without a window and without a
// display. A new command is one entry in the table in Commands.cpp.
#include <QStringList>

#include <optional>
#include <span>

namespace qm::cli {

// Given the words after the command's name; returns the exit status.
using Runner = int (*)(const QStringList& args);

struct Command {
    const char* name; // the first word on the command line
    const char* arguments; // what follows it, for the help text
    const char* summary; // one line on what it does
    Runner run; // null for a command that reads files' contents (below)
};

// The commands that read files' contents as they catalogue them (add-folder,
// update), kept apart in ContentCommands.cpp: they bring every reader with
// them (libarchive, Exiv2, TagLib, MediaInfo, Qt's image readers), and a
// program that leaves this table out starts without loading those.
struct ContentCommand {
    const char* name;
    Runner run;
};
std::span<const ContentCommand> contentCommands();

// Whether the command `argv` names is one of those.
bool readsContents(int argc, char** argv);

// Runs the command `argv` names and returns its exit status: 0 done, 1
// failed, 2 a usage error (an unknown command included). Empty when the
// arguments name no command, so that the main window opens; arguments
// that begin with "-" and are not commands are left to the window toolkit.
// `content`: the runners of the commands that read contents, where this
// program has them.
std::optional<int> run(int argc, char** argv, std::span<const ContentCommand> content = {});

} // namespace qm::cli
