// SPDX-License-Identifier: GPL-3.0-or-later
#include "main_window/StartUp.h"

#include "platform/AppPaths.h"
#include "catalog/store/Store.h"
#include "platform/MessageBox.h"

#include <QDir>
#include <QFileInfo>

namespace qm {

bool checkStoreAtStart(const QString& path)
{
    const QString problem = Store::prepare(path);
    if (problem.isEmpty())
        return true;
    if (QFileInfo::exists(path)) {
        MsgBox(problem + QStringLiteral("\n\nQuillmark will close; the file was not changed."));
        return false;
    }
    if (!Ask(problem + QStringLiteral("\n\nCreate an empty catalogue there?")))
        return false;
    // The user's data folder is made with its first catalogue.
    if (QFileInfo(path).absolutePath() == dataFolder())
        QDir().mkpath(dataFolder());
    const QString error = Store::create(path);
    if (!error.isEmpty()) {
        MsgBox(error);
        return false;
    }
    return true;
}

} // namespace qm
