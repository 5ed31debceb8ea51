// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/StoreReady.h"

#include "catalog/store/Store.h"
#include "cli/Output.h"
#include "platform/AppPaths.h"

namespace qm::cli {

bool storeReady(const QString& path, Upgrade upgrade)
{
    const QString problem = upgrade == Upgrade::InPlace ? Store::prepare(path) : Store::problemWith(path);
    if (problem.isEmpty())
        return true;
    fail(problem);
    return false;
}

QString usableStore(Upgrade upgrade)
{
    QString store = databasePath();
    return storeReady(store, upgrade) ? store : QString();
}

} // namespace qm::cli
