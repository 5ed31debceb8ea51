// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The command line: every command runs without a window and without a
// display. A new command is one entry in the table in Commands.cpp.
#include <QStringList>

#include <optional>

namespace qm::cli {

struct Command {
    const char* name; // the first word on the command line
    const char* arguments; // what follows it, for the help text
    const char* summary; // one line on what it does
    int (*run)(const QStringList& args); // given the words after the name; returns the exit status
};

// Runs the command `argv` names and returns its exit status: 0 done, 1
// failed, 2 a usage error (an unknown command included). Empty when the
// arguments name no command, so that the main window opens; arguments
// that begin with "-" and are not commands are left to the window toolkit.
std::optional<int> run(int argc, char** argv);

} // namespace qm::cli
