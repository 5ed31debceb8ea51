// SPDX-License-Identifier: GPL-3.0-or-later
// Whether a stored path is a folder's; apart from CatalogueTree.cpp, which
// fills the window's tree, so that the command line links without widgets.
#include "catalog/tree/CatalogueTree.h"

namespace qm {

namespace {
// Here a file may be named "tail\", so a path written here (it starts with
// "/") is a folder only by its closing "/".
bool folderBy(char16_t first, char16_t last)
{
    return first == u'/' ? last == u'/' : last == u'\\';
}
} // namespace

bool isFolderPath(const QString& path)
{
    return !path.isEmpty() && folderBy(path.front().unicode(), path.back().unicode());
}

bool isFolderPath(std::string_view utf8Path)
{
    return !utf8Path.empty() && folderBy(static_cast<unsigned char>(utf8Path.front()),
                                    static_cast<unsigned char>(utf8Path.back()));
}

} // namespace qm
