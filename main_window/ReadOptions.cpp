// SPDX-License-Identifier: GPL-3.0-or-later
#include "main_window/ReadOptions.h"

#include "main_window/Form1.h"
#include "platform/AppPaths.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QSettings>

#include <optional>

namespace qm {
namespace {

const QString kArchivesKey = QStringLiteral("Read/archiveMembers");

// Beside the window's own settings; nothing is kept without a home folder.
std::optional<QSettings> readSettings()
{
    const QString folder = configFolder();
    if (folder.isEmpty())
        return std::nullopt;
    return std::make_optional<QSettings>(folder + QStringLiteral("/window.ini"), QSettings::IniFormat);
}

} // namespace

ReadOptions::ReadOptions(Form1& form)
    : QObject(&form)
{
    QMenu* menu = form.menuBar()->addMenu(QStringLiteral("&Read"));
    menu->setObjectName(QStringLiteral("ReadMenu"));
    archives_ = menu->addAction(QStringLiteral("&Archive members"));
    archives_->setObjectName(QStringLiteral("ArchiveMembers"));
    archives_->setCheckable(true);
    archives_->setToolTip(
        QStringLiteral("Add Folder also lists the members of zip, tar, 7z, rar, iso and cab "
                       "files as entries below them, from their headers alone; Update Folder lists "
                       "the new and changed ones again"));
    if (const std::optional<QSettings> settings = readSettings())
        archives_->setChecked(settings->value(kArchivesKey, false).toBool());
    connect(archives_, &QAction::toggled, this, [](bool on) {
        if (std::optional<QSettings> settings = readSettings())
            settings->setValue(kArchivesKey, on);
    });
}

bool ReadOptions::archives() const
{
    return archives_->isChecked();
}

} // namespace qm
