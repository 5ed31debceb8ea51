// SPDX-License-Identifier: GPL-3.0-or-later
// The README and the AppStream data a new user meets first: the README's
// first code block is the two commands that CI and new machines run, and
// every screenshot and file they name is in the source tree.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QRegularExpression>

#include <gtest/gtest.h>

namespace {

QString sourceFile(const QString& relativePath)
{
    return QDir(QStringLiteral(QUILLMARK_SOURCE_DIR)).filePath(relativePath);
}

QString text(const QString& relativePath)
{
    QFile file(sourceFile(relativePath));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << relativePath.toStdString();
    return QString::fromUtf8(file.readAll());
}

QStringList captures(const QString& in, const QString& pattern, int group = 1)
{
    QStringList found;
    QRegularExpressionMatchIterator it = QRegularExpression(pattern).globalMatch(in);
    while (it.hasNext())
        found << it.next().captured(group);
    return found;
}

} // namespace

TEST(UserDocs, TheReadmeShowsTheTwoCommandsAsItsFirstCodeBlockBeforeAnySection)
{
    const QString readme = text(QStringLiteral("README.md"));
    const qsizetype open = readme.indexOf(QStringLiteral("\n```sh\n"));
    ASSERT_GE(open, 0) << "no sh code block";
    EXPECT_LT(open, readme.indexOf(QStringLiteral("\n## "))) << "a section comes before the commands";
    EXPECT_EQ(readme.left(open).count(QStringLiteral("```")), 0) << "another code block comes first";
    const qsizetype close = readme.indexOf(QStringLiteral("\n```\n"), open + 1);
    ASSERT_GT(close, open);
    QStringList commands;
    for (const QString& line : readme.mid(open + 7, close - open - 7).split(u'\n', Qt::SkipEmptyParts))
        commands << line.section(u'#', 0, 0).trimmed();
    EXPECT_EQ(commands.join(u'\n').toStdString(), "./scripts/run.sh\n./scripts/test.sh");
    for (const QString& script : commands)
        EXPECT_TRUE(QFileInfo(sourceFile(script)).isExecutable()) << script.toStdString();
}

TEST(UserDocs, EveryScreenshotOfTheAppStreamDataIsInTheTreeSmallAndShownInTheReadme)
{
    const QString metainfo = text(QStringLiteral("dist/quillmark.metainfo.xml.in"));
    const QString readme = text(QStringLiteral("README.md"));
    const QStringList blocks = captures(metainfo, QStringLiteral("(?s)<screenshot[ >](.*?)</screenshot>"));
    ASSERT_GE(blocks.size(), 2);
    QStringList listed;
    for (const QString& block : blocks) {
        EXPECT_FALSE(captures(block, QStringLiteral("<caption>([^<]+)</caption>")).isEmpty())
            << block.toStdString();
        const QStringList images
            = captures(block, QStringLiteral("<image>[^<]*/screenshots/([^/<]+)</image>"));
        ASSERT_EQ(images.size(), 1) << block.toStdString();
        const QString path = QStringLiteral("docs/screenshots/") + images[0];
        listed << images[0];
        const QImage shot(sourceFile(path));
        EXPECT_FALSE(shot.isNull()) << path.toStdString();
        // Large enough for a software centre, small enough for the repository.
        EXPECT_GE(shot.width(), 624) << path.toStdString();
        EXPECT_LE(QFileInfo(sourceFile(path)).size(), 200 * 1024) << path.toStdString();
        EXPECT_TRUE(readme.contains(path)) << path.toStdString() << " is not shown in the README";
    }
    // A screenshot nobody lists is a stale one.
    const QStringList kept = QDir(sourceFile(QStringLiteral("docs/screenshots"))).entryList(QDir::Files);
    for (const QString& name : kept)
        EXPECT_TRUE(listed.contains(name)) << name.toStdString() << " is not listed in the AppStream data";
}

TEST(UserDocs, EveryFileTheReadmeLinksToIsInTheTree)
{
    const QString readme = text(QStringLiteral("README.md"));
    QStringList targets = captures(readme, QStringLiteral("\\]\\(([^)#:]+)\\)"));
    targets << captures(readme, QStringLiteral("src=\"([^\":]+)\""));
    ASSERT_FALSE(targets.isEmpty());
    for (const QString& target : targets)
        EXPECT_TRUE(QFileInfo::exists(sourceFile(target))) << target.toStdString();
}
