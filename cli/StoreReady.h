// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What every command that works on the store does first: make sure the store
// can be used, and say so when it cannot.
#include <QString>

namespace qm::cli {

enum class Upgrade {
    InPlace, // an older format is brought to this version's, keeping every record
    Never, // only checked: for a command that reads and must leave the file as it is
};

// Whether the store at `path` can be used; when not, the problem (naming the
// full path) is told on standard error.
bool storeReady(const QString& path, Upgrade upgrade = Upgrade::InPlace);

// The store the commands work on (databasePath()) when it can be used;
// empty, with the problem told, when not.
QString usableStore(Upgrade upgrade = Upgrade::InPlace);

} // namespace qm::cli
