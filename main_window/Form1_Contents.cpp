// SPDX-License-Identifier: GPL-3.0-or-later
// What the main window offers about file contents: whether scans fingerprint
// them, and the Duplicates window.
#include "main_window/Form1.h"

#include "main_window/CompareWindow.h"
#include "main_window/DuplicatesWindow.h"
#include "main_window/VerifyWindow.h"
#include "platform/AppPaths.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QSettings>

#include <memory>

namespace qm {
namespace {

constexpr const char* kFingerprintKey = "scan/fingerprintContents";

// Beside the window's size, in the user's configuration folder; nothing is
// kept without one.
std::unique_ptr<QSettings> contentSettings()
{
    const QString folder = configFolder();
    if (folder.isEmpty())
        return nullptr;
    return std::make_unique<QSettings>(folder + QStringLiteral("/window.ini"), QSettings::IniFormat);
}

} // namespace

void Form1::addContentMenus()
{
    // In the menu of the window's own additions, after what is there.
    auto* menu = menuBar()->findChild<QMenu*>(QStringLiteral("CatalogueMenu"));
    if (!menu)
        menu = menuBar()->addMenu(QStringLiteral("&Catalogue"));
    menu->addSeparator();
    FingerprintContents = menu->addAction(QStringLiteral("&Fingerprint file contents"));
    FingerprintContents->setObjectName(QStringLiteral("FingerprintContents"));
    FingerprintContents->setCheckable(true);
    FingerprintContents->setToolTip(QStringLiteral("Add Folder reads every file and keeps a fingerprint of its "
                                                   "contents, to find copies across disks; Update Folder reads "
                                                   "the new and changed ones"));
    const auto settings = contentSettings();
    FingerprintContents->setChecked(settings && settings->value(QLatin1String(kFingerprintKey), false).toBool());
    connect(FingerprintContents, &QAction::toggled, this, &Form1::FingerprintContents_Click);
    Duplicates = menu->addAction(QStringLiteral("D&uplicates..."), this, &Form1::Duplicates_Click);
    Duplicates->setObjectName(QStringLiteral("Duplicates"));
    // Checks of scans, which only read the store.
    QAction* compare = menu->addAction(QStringLiteral("Co&mpare Scans..."), this, [this] { CompareWindow::showWindow(this); });
    compare->setObjectName(QStringLiteral("CompareScans"));
    QAction* verify = menu->addAction(QStringLiteral("&Verify Folder..."), this, [this] { VerifyWindow::showWindow(this); });
    verify->setObjectName(QStringLiteral("VerifyFolder"));
}

bool Form1::fingerprintContents() const
{
    return FingerprintContents && FingerprintContents->isChecked();
}

void Form1::FingerprintContents_Click(bool on)
{
    if (const auto settings = contentSettings())
        settings->setValue(QLatin1String(kFingerprintKey), on);
}

void Form1::Duplicates_Click()
{
    DuplicatesWindow::showWindow(this);
}

} // namespace qm
