#include "about/VersionResource.h"
#include "about/frmAbout.h"
#include "support/FormFixture.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>

using namespace qm;

TEST(AboutTest, TextsAfterLoad)
{
    frmAbout w;
    w.Form_Load();
    EXPECT_EQ(w.windowTitle(), QStringLiteral("About Quillmark"));
    EXPECT_EQ(w.lblTitle->text(), QStringLiteral("Quillmark"));
    EXPECT_EQ(w.lblVersion->text(), QStringLiteral("Version 1.1.0"));
    EXPECT_EQ(w.lblDescription->text(),
        QStringLiteral("Program to keep track all the files. You can store information for different "
                       "types of files like   Projects, Multimedia and other documents."));
    EXPECT_FALSE(w.picIcon->pixmap().isNull());
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

TEST(AboutTest, ExecutableCarriesTheVersionValues)
{
    EXPECT_EQ(VersionResource::value(QStringLiteral("FileVersion")), QStringLiteral("1.1.0.0"));
    EXPECT_EQ(VersionResource::value(QStringLiteral("FileVersionText")), QStringLiteral("1.01"));
    EXPECT_EQ(VersionResource::value(QStringLiteral("ProductName")), QStringLiteral("Quillmark"));

    // The same bytes sit in the named section of the program file itself.
    const QString objcopy = QStandardPaths::findExecutable(QStringLiteral("objcopy"));
    if (objcopy.isEmpty())
        GTEST_SKIP() << "objcopy is not installed";
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("section.bin"));
    QProcess p;
    p.start(objcopy,
        {QStringLiteral("-O"), QStringLiteral("binary"),
            QStringLiteral("--only-section=") + QString::fromLatin1(VersionResource::kSectionName),
            QCoreApplication::applicationFilePath(), out});
    ASSERT_TRUE(p.waitForFinished(60000));
    ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    QFile f(out);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(f.readAll()).split(QChar(0), Qt::SkipEmptyParts), VersionResource::entries());
}

using AboutMenuTest = FormTest;

TEST_F(AboutMenuTest, AboutMenuItemKeepsOneWindow)
{
    Form1& form = load(QString());
    form.About->trigger();
    QPointer<frmAbout> first = frmAbout::current();
    ASSERT_TRUE(first && first->isVisible());
    EXPECT_EQ(first->parentWidget(), nullptr);
    EXPECT_FALSE(first->isModal());
    form.About_Click();
    EXPECT_EQ(frmAbout::current(), first.data());
    int open = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        open += w->objectName() == QStringLiteral("frmAbout") && w->isVisible();
    EXPECT_EQ(open, 1);

    first->cmdOK_Click();
    qmtest::flushDeletes();
    EXPECT_FALSE(first);
    form.About_Click();
    ASSERT_NE(frmAbout::current(), nullptr);
    EXPECT_EQ(frmAbout::current()->windowTitle(), QStringLiteral("About Quillmark"));
    frmAbout::current()->close();
    qmtest::flushDeletes();
}
