// SPDX-License-Identifier: GPL-3.0-or-later
#include "about/VersionResource.h"
#include "about/frmAbout.h"
#include "support/TestSupport.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QPushButton>

using namespace qm;

TEST(AboutTest, TextsAfterLoadAndTheProgramFilesVersionValues)
{
    frmAbout w;
    w.Form_Load();
    EXPECT_EQ(w.lblVersion->text(), QStringLiteral("Version 1.1.0"));
    EXPECT_FALSE(w.picIcon->pixmap().isNull() || w.lblDescription->text().isEmpty());
    // The program file carries the same version values.
    EXPECT_EQ(VersionResource::value(QStringLiteral("FileVersion")), QStringLiteral("1.1.0.0"));
    EXPECT_EQ(VersionResource::value(QStringLiteral("FileVersionText")), QStringLiteral("1.01"));
    EXPECT_EQ(VersionResource::value(QStringLiteral("ProductName")), QStringLiteral("Quillmark"));
}

TEST(AboutTest, OkEnterAndEscCloseTheWindow)
{
    for (int key : {0, int(Qt::Key_Return), int(Qt::Key_Escape)}) {
        QPointer<frmAbout> w = frmAbout::showWindow();
        ASSERT_TRUE(w && w->isVisible());
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        if (key == 0)
            w->cmdOK->click();
        else
            QApplication::sendEvent(w.data(), &press);
        qmtest::flushDeletes();
        EXPECT_FALSE(w) << "key " << key;
    }
}
