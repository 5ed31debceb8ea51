#include "about/VersionResource.h"
#include "about/frmAbout.h"
#include "catalog/NameFile.h"
#include "main_window/Form1.h"
#include "support/TestSupport.h"

#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QFile>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>

using namespace qm;

namespace {

void flushDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void closeOpenAbout()
{
    if (frmAbout* w = frmAbout::current())
        w->close();
    flushDeletes();
}

TEST(AboutTest, TextsAfterLoad)
{
    frmAbout w;
    EXPECT_EQ(w.windowTitle(), QStringLiteral("About MyApp"));
    EXPECT_EQ(w.lblVersion->text(), QStringLiteral("Version :   1.1.0"));
    w.Form_Load();
    EXPECT_EQ(w.windowTitle(), QStringLiteral("About Quillmark"));
    EXPECT_EQ(w.lblTitle->text(), QStringLiteral("Quillmark"));
    EXPECT_EQ(w.lblVersion->text(), QStringLiteral("Version " QUILLMARK_VERSION));
    EXPECT_EQ(w.lblVersion->text(),
        QStringLiteral("Version %1.%2.%3")
            .arg(QUILLMARK_VERSION_MAJOR)
            .arg(QUILLMARK_VERSION_MINOR)
            .arg(QUILLMARK_VERSION_PATCH));
    EXPECT_EQ(w.lblDescription->text(),
        QStringLiteral("Program to keep track all the files. You can store information for different "
                       "types of files like   Projects, Multimedia and other documents."));

    const QFont title = w.lblTitle->font();
    EXPECT_EQ(title.family(), QStringLiteral("Times New Roman"));
    EXPECT_DOUBLE_EQ(title.pointSizeF(), 20.25);
    EXPECT_TRUE(title.bold());
    EXPECT_TRUE(title.italic());

    EXPECT_EQ(w.cmdOK->text(), QStringLiteral("OK"));
    EXPECT_TRUE(w.cmdOK->isDefault());
    EXPECT_EQ(w.Line1->frameShape(), QFrame::HLine);
    EXPECT_EQ(w.Line1->frameShadow(), QFrame::Sunken);

    const QImage picture = frmAbout::picture();
    EXPECT_EQ(picture.size(), QSize(32, 32));
    EXPECT_EQ(picture.format(), QImage::Format_RGB888);
    EXPECT_FALSE(w.picIcon->pixmap().isNull());
}

TEST(AboutTest, OkEnterAndEscCloseTheWindow)
{
    for (int key : {0, int(Qt::Key_Return), int(Qt::Key_Escape)}) {
        QPointer<frmAbout> w = frmAbout::showWindow();
        ASSERT_TRUE(w);
        ASSERT_TRUE(w->isVisible());
        if (key == 0) {
            w->cmdOK->click();
        } else {
            QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
            QApplication::sendEvent(w.data(), &press);
        }
        flushDeletes();
        EXPECT_FALSE(w) << "key " << key;
        EXPECT_EQ(frmAbout::current(), nullptr);
    }
}

TEST(AboutTest, ExecutableCarriesTheVersionValues)
{
    const QStringList expected {
        QStringLiteral("FileVersion=" QUILLMARK_VERSION ".0"),
        QStringLiteral("ProductVersion=" QUILLMARK_VERSION ".0"),
        QStringLiteral("FileVersionText=%1.%2")
            .arg(QUILLMARK_VERSION_MAJOR)
            .arg(QUILLMARK_VERSION_MINOR, 2, 10, QChar(u'0')),
        QStringLiteral("ProductName=Quillmark"),
        QStringLiteral("InternalName=Quillmark"),
        QStringLiteral("Comments=Programm to keep track of all files with few information"),
    };
    for (const QString& entry : expected)
        EXPECT_TRUE(VersionResource::entries().contains(entry)) << entry.toStdString();
    EXPECT_EQ(VersionResource::value(QStringLiteral("FileVersionText")), QStringLiteral("1.01"));

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
    QStringList stored;
    for (const QByteArray& s : f.readAll().split('\0'))
        if (!s.isEmpty())
            stored << QString::fromUtf8(s);
    EXPECT_EQ(stored, VersionResource::entries());
}

class AboutMenuTest : public qmtest::StoreTest {
protected:
    void TearDown() override
    {
        closeOpenAbout();
        StoreTest::TearDown();
    }
};

TEST_F(AboutMenuTest, AboutMenuItemKeepsOneWindow)
{
    NameFile::write(QString());
    Form1 form;
    ASSERT_TRUE(form.Form_Load());

    form.About->trigger();
    QPointer<frmAbout> first = frmAbout::current();
    ASSERT_TRUE(first);
    EXPECT_TRUE(first->isVisible());
    EXPECT_EQ(first->parentWidget(), nullptr);
    EXPECT_FALSE(first->isModal());
    form.About_Click();
    EXPECT_EQ(frmAbout::current(), first.data());
    int open = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        open += w->objectName() == QStringLiteral("frmAbout") && w->isVisible();
    EXPECT_EQ(open, 1);

    first->cmdOK_Click();
    flushDeletes();
    EXPECT_FALSE(first);
    form.About_Click();
    ASSERT_NE(frmAbout::current(), nullptr);
    EXPECT_EQ(frmAbout::current()->windowTitle(), QStringLiteral("About Quillmark"));
}

} // namespace
