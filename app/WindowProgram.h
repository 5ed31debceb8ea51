// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The main window is a program of its own (quillmark-window), so that a
// search never loads the windowing libraries nor the readers of contents;
// `quillmark` without a command, or with one that catalogues (add-folder,
// update), starts it in its own place, with the arguments and the current
// folder it was given.
#include <QString>

namespace qm {

// The window program for the command-line program in `folder`: beside it
// (the build folder, a portable copy) when there, else in the install's
// libexec folder.
QString windowProgramFor(const QString& folder);

// Replaces this process with the window program, in the folder `startFolder`
// (a descriptor, or -1 to stay), given `argv` as typed. Returns only when it
// cannot be started, with the exit status after saying why on stderr.
int startWindowProgram(int startFolder, char** argv);

} // namespace qm
