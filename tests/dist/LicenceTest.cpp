// SPDX-License-Identifier: GPL-3.0-or-later
// The licence as the source tree carries it: the full GPL text in LICENSE and
// the licence identifier at the head of every source file.
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

namespace {

constexpr auto kIdentifier = "SPDX-License-Identifier: GPL-3.0-or-later";

// The tree checked: the one this build was made from, or another named by
// QUILLMARK_SOURCE_DIR (a copy checked before it is committed).
QString sourceTree()
{
    const QString named = qEnvironmentVariable("QUILLMARK_SOURCE_DIR");
    return named.isEmpty() ? QStringLiteral(QUILLMARK_SOURCE_DIR) : named;
}

QByteArray contentOf(const QString& path, qint64 limit = -1)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return limit < 0 ? f.readAll() : f.read(limit);
}

// The comment opener of a source file's language, or nothing for a file that
// is not source (data, pictures, documentation).
QByteArray commentOf(const QString& path)
{
    const QString name = QFileInfo(path).fileName();
    if (name.endsWith(QLatin1String(".cpp")) || name.endsWith(QLatin1String(".h")))
        return "//";
    if (name.endsWith(QLatin1String(".sql")))
        return "--";
    if (name == QLatin1String("CMakeLists.txt") || name.endsWith(QLatin1String(".cmake"))
        || name.endsWith(QLatin1String(".sh")) || contentOf(path, 2) == "#!")
        return "#";
    return {};
}

// Every source file below `root`, leaving out the repository's own folder and
// build folders made inside the tree.
QStringList sourceFiles(const QString& root)
{
    QStringList files;
    QStringList folders {root};
    while (!folders.isEmpty()) {
        const QDir folder(folders.takeLast());
        const QFileInfoList entries = folder.entryInfoList(
            QDir::Dirs | QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot | QDir::NoSymLinks, QDir::Name);
        for (const QFileInfo& entry : entries) {
            if (entry.isDir()) {
                if (entry.fileName() != QLatin1String(".git")
                    && !QFile::exists(entry.filePath() + "/CMakeCache.txt"))
                    folders << entry.filePath();
            } else if (!commentOf(entry.filePath()).isEmpty()) {
                files << entry.filePath();
            }
        }
    }
    files.sort();
    return files;
}

// The line that must hold the identifier: the first, or the second after a
// "#!" line, which the system needs first.
QByteArray identifierLine(const QByteArray& text)
{
    const QList<QByteArray> lines = text.left(4096).split('\n');
    return lines.size() > 1 && lines[0].startsWith("#!") ? lines[1] : lines[0];
}

bool namesLicence(const QString& file)
{
    const QByteArray line = identifierLine(contentOf(file, 4096));
    return line.startsWith(commentOf(file) + ' ') && line.contains(kIdentifier);
}

} // namespace

TEST(LicenceTest, LicenceFileHoldsTheWholeGplVersion3)
{
    const QByteArray licence = contentOf(sourceTree() + QStringLiteral("/LICENSE"));
    ASSERT_FALSE(licence.isEmpty()) << "no LICENSE in " << sourceTree().toStdString();
    EXPECT_TRUE(licence.trimmed().startsWith("GNU GENERAL PUBLIC LICENSE"));
    EXPECT_TRUE(licence.contains("Version 3, 29 June 2007"));
    EXPECT_TRUE(licence.contains("END OF TERMS AND CONDITIONS"));
    // Word for word the text Debian keeps, where it is there to compare.
    const QString common = QStringLiteral("/usr/share/common-licenses/GPL-3");
    if (QFile::exists(common)) {
        EXPECT_TRUE(licence == contentOf(common)) << "LICENSE differs from " << common.toStdString();
    }
}

TEST(LicenceTest, EverySourceFileNamesItsLicenceInItsFirstCommentLine)
{
    const QString root = sourceTree();
    const QStringList files = sourceFiles(root);
    // The tree is there and the walk reaches every kind of source file.
    for (const char* known : {"/CMakeLists.txt", "/app/main.cpp", "/catalog/store/Store.h",
             "/catalog/store/schema.sql", "/scripts/setup.sh", "/.ci/run", "/tests/dist/LicenceTest.cpp"})
        EXPECT_TRUE(files.contains(root + QLatin1String(known))) << known;

    QStringList without;
    for (const QString& file : files)
        if (!namesLicence(file))
            without << QDir(root).relativeFilePath(file);
    EXPECT_TRUE(without.isEmpty()) << without.size() << " of " << files.size()
                                   << " source files do not start with a comment naming the licence ("
                                   << kIdentifier << "):\n"
                                   << without.join(u'\n').toStdString();
}

TEST(LicenceTest, TheCheckTellsTheFirstCommentLineFromLaterOnesAndKeepsShebangsFirst)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid() && QDir(dir.path()).mkpath(QStringLiteral("build")));
    const auto write = [&](const QString& name, const QByteArray& text) {
        QFile f(dir.filePath(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
        return f.fileName();
    };
    const QByteArray id(kIdentifier);
    const QString header = write("good.h", "// " + id + "\n// What it does.\n#pragma once\n");
    const QString late = write("late.cpp", "#include <x>\n// " + id + "\n");
    const QString script = write("run", "#!/bin/sh\n# " + id + "\nexit 0\n");
    const QString scriptAfterCode = write("make.sh", "#!/bin/sh\nset -e\n# " + id + "\n");
    const QString sql = write("1.sql", "-- " + id + "\nCREATE TABLE t (a);\n");
    const QString sqlWrongComment = write("2.sql", "# " + id + "\n");
    const QString cmake = write("CMakeLists.txt", "# " + id + "\nproject(x)\n");
    write("notes.md", "No licence line here.\n");
    write("build/CMakeCache.txt", "");
    write("build/generated.cpp", "int x;\n");

    EXPECT_EQ(sourceFiles(dir.path()).size(), 7) << "only source files, and none of a build folder";
    EXPECT_TRUE(namesLicence(header));
    EXPECT_FALSE(namesLicence(late));
    EXPECT_TRUE(namesLicence(script));
    EXPECT_FALSE(namesLicence(scriptAfterCode));
    EXPECT_TRUE(namesLicence(sql));
    EXPECT_FALSE(namesLicence(sqlWrongComment));
    EXPECT_TRUE(namesLicence(cmake));
}
