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
    thumbnails_ = menu->addAction(QStringLiteral("&Thumbnails of pictures"));
    thumbnails_->setObjectName(QStringLiteral("Thumbnails"));
    thumbnails_->setCheckable(true);
    thumbnails_->setToolTip(
        QStringLiteral("Add Folder also keeps a small picture of every photo (JPEG, TIFF, PNG, camera raw), "
                       "shown in Find and in the file list's tooltip with the disk unplugged"));
    if (const std::optional<QSettings> settings = readSettings())
        thumbnails_->setChecked(settings->value(kThumbnailsKey, false).toBool());
    connect(thumbnails_, &QAction::toggled, this, [](bool on) {
        if (std::optional<QSettings> settings = readSettings())
            settings->setValue(kThumbnailsKey, on);
    });
    media_ = menu->addAction(QStringLiteral("&Photo, music and video details"));
    media_->setObjectName(QStringLiteral("MediaDetails"));
    media_->setCheckable(true);
    media_->setToolTip(
        QStringLiteral("Add Folder also reads the date taken, camera, lens, size and GPS position of photos, "
                       "the artist, album, title and length of music, and the length, size and codec of "
                       "videos, from their headers alone"));
    if (const std::optional<QSettings> settings = readSettings())
        media_->setChecked(settings->value(kMediaKey, false).toBool());
    connect(media_, &QAction::toggled, this, [](bool on) {
        if (std::optional<QSettings> settings = readSettings())
            settings->setValue(kMediaKey, on);
    });
}

bool ReadOptions::archives() const
{
    return archives_->isChecked();
}

bool ReadOptions::thumbnails() const
{
    return thumbnails_->isChecked();
}

} // namespace qm

namespace qm {

bool ReadOptions::media() const
{
    return media_->isChecked();
}

} // namespace qm
