// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The user's own base folders, after the XDG Base Directory rules, worked out
// without guessing: a relative XDG_*_HOME is ignored, as the rules say, and
// without a known home folder there is no folder at all, rather than one made
// below "/".
#include <QString>

namespace qm {

// $HOME when it is an absolute path other than "/"; otherwise the account's
// home from the password database when it is an existing folder other than
// "/"; otherwise empty.
QString homeFolder();

// XDG_CONFIG_HOME, XDG_DATA_HOME, XDG_CACHE_HOME when absolute, otherwise
// ~/.config, ~/.local/share, ~/.cache; empty when no home folder is known.
QString userConfigHome();
QString userDataHome();
QString userCacheHome();

// Says that no home folder is known, for a message about `what` was not kept.
QString noHomeFolderText();

} // namespace qm
