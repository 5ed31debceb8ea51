// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/AddFolder.h"
#include "cli/Commands.h"
#include "cli/Update.h"

namespace qm::cli {

std::span<const ContentCommand> contentCommands()
{
    static const ContentCommand commands[] = {{"add-folder", runAddFolderCommand}, {"update", runUpdateCommand}};
    return commands;
}

} // namespace qm::cli
