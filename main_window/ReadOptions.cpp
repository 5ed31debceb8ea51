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
const QString kThumbnailsKey = QStringLiteral("Read/thumbnails");
const QString kMediaKey = QStringLiteral("Read/mediaDetails");

// Beside the window's own settings; nothing is kept without a home folder.
std::optional<QSettings> readSettings()
{
    const QString folder = configFolder();
    if (folder.isEmpty())
        return std::nullopt;
    return std::make_optional<QSettings>(folder + QStringLiteral("/window.ini"), QSettings::IniFormat);
}

// A checkable item of `menu` whose state is remembered under `key`.
QAction* rememberedOption(QMenu* menu, const QString& text, const QString& name, const QString& tip,
    const QString& key)
{
    QAction* action = menu->addAction(text);
    action->setObjectName(name);
    action->setCheckable(true);
    action->setToolTip(tip);
    if (const std::optional<QSettings> settings = readSettings())
        action->setChecked(settings->value(key, false).toBool());
    QObject::connect(action, &QAction::toggled, action, [key](bool on) {
        if (std::optional<QSettings> settings = readSettings())
            settings->setValue(key, on);
    });
    return action;
}

} // namespace

ReadOptions::ReadOptions(Form1& form)
    : QObject(&form)
{
    QMenu* menu = form.menuBar()->addMenu(QStringLiteral("&Read"));
    menu->setObjectName(QStringLiteral("ReadMenu"));
    archives_ = rememberedOption(menu, QStringLiteral("&Archive members"), QStringLiteral("ArchiveMembers"),
        QStringLiteral("Add Folder also lists the members of zip, tar, 7z, rar, iso and cab "
                       "files as entries below them, from their headers alone; Update Folder lists "
                       "the new and changed ones again"),
        kArchivesKey);
    thumbnails_ = rememberedOption(menu, QStringLiteral("&Thumbnails of pictures"), QStringLiteral("Thumbnails"),
        QStringLiteral("Add Folder also keeps a small picture of every photo (JPEG, TIFF, PNG, camera raw), "
                       "shown in Find and in the file list's tooltip with the disk unplugged; Update Folder "
                       "makes those of new and changed photos"),
        kThumbnailsKey);
    media_ = rememberedOption(menu, QStringLiteral("&Photo, music and video details"), QStringLiteral("MediaDetails"),
        QStringLiteral("Add Folder also reads the date taken, camera, lens, size and GPS position of photos, "
                       "the artist, album, title and length of music, and the length, size and codec of "
                       "videos, from their headers alone; Update Folder reads those of new and changed files"),
        kMediaKey);
}

bool ReadOptions::archives() const
{
    return archives_->isChecked();
}

bool ReadOptions::thumbnails() const
{
    return thumbnails_->isChecked();
}

bool ReadOptions::media() const
{
    return media_->isChecked();
}

} // namespace qm
