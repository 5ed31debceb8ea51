// SPDX-License-Identifier: GPL-3.0-or-later
// The floors of the source tree, read from its includes: platform/ is the
// ground floor and includes nothing from the folders built on it, and the
// command line stands beside the main window, not on it.
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>

namespace {

QString sourceTree()
{
    const QString named = qEnvironmentVariable("QUILLMARK_SOURCE_DIR");
    return named.isEmpty() ? QStringLiteral(QUILLMARK_SOURCE_DIR) : named;
}

// The folders one folder must not include from.
struct Floor {
    const char* folder;
    QStringList forbidden;
};

const QList<Floor>& floors()
{
    static const QList<Floor> list {
        {"platform",
            {"catalog", "main_window", "find", "cli", "registers", "tree_editor", "reports", "about"}},
        {"cli", {"main_window"}},
    };
    return list;
}

// Every quoted include of the C++ files below `folder` that names a file in
// one of `forbidden`, as "file: include".
QStringList includesFrom(const QString& root, const QString& folder, const QStringList& forbidden)
{
    static const QRegularExpression include(QStringLiteral(R"re(^\s*#\s*include\s*"([^"]+)")re"),
        QRegularExpression::MultilineOption);
    QStringList found;
    QStringList folders {root + u'/' + folder};
    while (!folders.isEmpty()) {
        const QDir dir(folders.takeLast());
        const QFileInfoList entries
            = dir.entryInfoList(QDir::Dirs | QDir::Files | QDir::NoDotAndDotDot | QDir::NoSymLinks, QDir::Name);
        for (const QFileInfo& entry : entries) {
            if (entry.isDir()) {
                folders << entry.filePath();
                continue;
            }
            if (entry.suffix() != QLatin1String("cpp") && entry.suffix() != QLatin1String("h"))
                continue;
            QFile f(entry.filePath());
            if (!f.open(QIODevice::ReadOnly))
                continue;
            const QString text = QString::fromUtf8(f.readAll());
            for (auto it = include.globalMatch(text); it.hasNext();) {
                const QString named = it.next().captured(1);
                const QString top = named.section(u'/', 0, 0);
                if (named.contains(u'/') && forbidden.contains(top))
                    found << QDir(root).relativeFilePath(entry.filePath()) + QLatin1String(": ") + named;
            }
        }
    }
    return found;
}

} // namespace

TEST(LayeringTest, NoFolderIncludesFromTheFloorsAboveIt)
{
    const QString root = sourceTree();
    ASSERT_TRUE(QFile::exists(root + QLatin1String("/platform/MessageBox.cpp"))) << root.toStdString();
    for (const Floor& floor : floors()) {
        const QStringList wrong = includesFrom(root, QLatin1String(floor.folder), floor.forbidden);
        EXPECT_TRUE(wrong.isEmpty()) << floor.folder << "/ includes from above it:\n"
                                     << wrong.join(u'\n').toStdString();
    }
}

TEST(LayeringTest, TheCheckFindsAnIncludeFromAboveInAnyFileOfTheFolder)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid() && QDir(dir.path()).mkpath(QStringLiteral("platform/deep")));
    const auto write = [&](const QString& name, const QByteArray& text) {
        QFile f(dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    };
    write("platform/Fine.cpp", "#include \"platform/Fine.h\"\n#include <catalog>\n// #include is \"catalog/x.h\"\n");
    write("platform/Up.h", "#pragma once\n#  include \"main_window/Form1.h\"\n");
    write("platform/deep/Down.cpp", "#include \"catalog/Store.h\"\n");
    write("platform/notes.txt", "#include \"cli/Output.h\"\n");
    write("platform/Near.cpp", "#include \"catalogue/Near.h\"\n");

    const QStringList found = includesFrom(dir.path(), QStringLiteral("platform"), floors().front().forbidden);
    EXPECT_EQ(found,
        QStringList({QStringLiteral("platform/Up.h: main_window/Form1.h"),
            QStringLiteral("platform/deep/Down.cpp: catalog/Store.h")}));
}
