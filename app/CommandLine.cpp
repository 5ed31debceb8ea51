// SPDX-License-Identifier: GPL-3.0-or-later
// `quillmark`: the commands, on QtCore alone; without a command, and for the
// commands that read files' contents, the window program (app/main.cpp),
// which has every reader, in its place.
#include "app/WindowProgram.h"
#include "cli/Commands.h"
#include "cli/PathOptions.h"

#include <QtGlobal>

#include <fcntl.h>

#include <vector>

int main(int argc, char** argv)
{
    // With TZ unset the C library looks the zone file up again at every
    // local-time conversion; naming that same file lets it keep what it read.
    if (!qEnvironmentVariableIsSet("TZ"))
        qputenv("TZ", ":/etc/localtime");
    // The window program is given the arguments as typed, in the folder they
    // were typed in: --in-data-folder moves this process.
    const std::vector<char*> asTyped(argv, argv + argc + 1);
    const int startFolder = ::open(".", O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (const auto status = qm::takePathOptions(argc, argv))
        return *status;
    if (qm::cli::readsContents(argc, argv))
        return qm::startWindowProgram(startFolder, const_cast<char**>(asTyped.data()));
    if (const auto status = qm::cli::run(argc, argv))
        return *status;
    return qm::startWindowProgram(startFolder, const_cast<char**>(asTyped.data()));
}
