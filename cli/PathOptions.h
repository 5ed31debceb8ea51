// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The options that say where the program's files are, taken before anything
// else reads the command line.
#include <optional>

namespace qm {

// Takes --database FILE, --name-file FILE (also as --database=FILE and
// --name-file=FILE) and --in-data-folder out of argv, up to a "--", and
// installs them: the two files are named outright; --in-data-folder, which
// the menu launcher gives, makes the user's data folder (dataFolder()) and
// goes there, so database.mdb is looked for in it. The other arguments keep
// their order. A named file that is a FIFO, a device or a folder is refused
// at once, never opened. Returns the exit status when the program must end
// (1 for a file that cannot be used, 2 for a usage error), empty otherwise.
std::optional<int> takePathOptions(int& argc, char** argv);

} // namespace qm
