#include "main_window/HeadlessScan.h"

#include <cstdio>

namespace qm {
int runAddFolderCommand(const QStringList&)
{
    std::fputs("add-folder is not available yet\n", stderr);
    return 2;
}
} // namespace qm
