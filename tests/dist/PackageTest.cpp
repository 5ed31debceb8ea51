// SPDX-License-Identifier: GPL-3.0-or-later
// The Debian package: made by `cpack -G DEB` from this build into a folder of
// the test's own, unpacked, and looked over as dpkg and lintian look at it.
#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <memory>

namespace {

using qmtest::Outcome;

// A tool run to its end; packing and lintian take longer than the shared
// helper waits on a busy machine.
Outcome run(const QString& program, const QStringList& args, const QString& folder = {})
{
    QProcess p;
    p.setWorkingDirectory(folder);
    p.start(program, args);
    Outcome o;
    if (!p.waitForFinished(600000)) {
        o.err = program + QStringLiteral(" did not run: ") + p.errorString();
        return o;
    }
    o.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    o.out = QString::fromUtf8(p.readAllStandardOutput());
    o.err = QString::fromUtf8(p.readAllStandardError());
    return o;
}

struct Package {
    QTemporaryDir folder;
    Outcome made;
    QString deb;
    QString root() const { return folder.filePath(QStringLiteral("root")); }
};

// One paragraph of a copyright file in Debian's machine-readable format:
// each field's value with its continuation lines.
using Paragraph = QMap<QString, QString>;

// The paragraphs of `text`; a line that is neither a field nor a continuation
// goes to `faults`.
QList<Paragraph> paragraphsOf(const QString& text, QStringList& faults)
{
    static const QRegularExpression fieldLine(QStringLiteral("^([A-Za-z][A-Za-z0-9-]*):[ \t]*(.*)$"));
    QList<Paragraph> paragraphs;
    Paragraph current;
    QString last;
    const auto finish = [&] {
        if (!current.isEmpty())
            paragraphs << current;
        current.clear();
        last.clear();
    };
    for (const QString& line : text.split(u'\n')) {
        if (line.trimmed().isEmpty()) {
            finish();
        } else if (line.startsWith(u' ') || line.startsWith(u'\t')) {
            if (last.isEmpty())
                faults << QStringLiteral("continuation without a field: ") + line;
            else
                current[last] += u'\n' + line.mid(1);
        } else if (const auto m = fieldLine.match(line); m.hasMatch() && !current.contains(m.captured(1))) {
            last = m.captured(1);
            current[last] = m.captured(2);
        } else {
            faults << QStringLiteral("not a field, or a field given twice: ") + line;
        }
    }
    finish();
    return paragraphs;
}

QString firstLine(const QString& value)
{
    return value.section(u'\n', 0, 0).trimmed();
}

class PackageTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        package = std::make_unique<Package>();
        package->made = run(QStringLiteral(CPACK_COMMAND),
            {QStringLiteral("-G"), QStringLiteral("DEB"), QStringLiteral("--config"),
                QStringLiteral(QUILLMARK_BUILD_DIR "/CPackConfig.cmake"), QStringLiteral("-B"),
                package->folder.path()},
            QStringLiteral(QUILLMARK_BUILD_DIR));
        const QStringList debs
            = QDir(package->folder.path()).entryList({QStringLiteral("*.deb")}, QDir::Files);
        if (package->made.status == 0 && debs.size() == 1) {
            package->deb = package->folder.filePath(debs.first());
            run(QStringLiteral("dpkg-deb"), {QStringLiteral("-x"), package->deb, package->root()});
        }
    }
    static void TearDownTestSuite() { package.reset(); }
    void SetUp() override
    {
        ASSERT_FALSE(package->deb.isEmpty())
            << "cpack made no single package:\n"
            << package->made.out.toStdString() << package->made.err.toStdString();
    }

    static QString unpacked(const QString& path) { return package->root() + path; }
    static QByteArray contentOf(const QString& path)
    {
        QFile f(unpacked(path));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }

    static inline std::unique_ptr<Package> package;
};

constexpr auto kDoc = "/usr/share/doc/quillmark/";

void expectDebiansFieldsOwnersAndModes(const Package& package)
{
    const Outcome fields = run(QStringLiteral("dpkg-deb"),
        {QStringLiteral("-f"), package.deb, QStringLiteral("Package"), QStringLiteral("Version"),
            QStringLiteral("Depends")});
    EXPECT_TRUE(fields.out.startsWith(
        QStringLiteral("Package: quillmark\nVersion: " QUILLMARK_VERSION "\nDepends: ")))
        << fields.out.toStdString() << fields.err.toStdString();

    const Outcome listing = run(QStringLiteral("dpkg-deb"), {QStringLiteral("-c"), package.deb});
    ASSERT_EQ(listing.status, 0) << listing.err.toStdString();
    QStringList entries;
    for (const QString& line : listing.out.split(u'\n', Qt::SkipEmptyParts)) {
        const QStringList cols = line.split(u' ', Qt::SkipEmptyParts);
        ASSERT_GE(cols.size(), 6) << line.toStdString();
        const QString& path = cols.last();
        entries << path;
        EXPECT_EQ(cols[1], QStringLiteral("root/root")) << line.toStdString();
        const QString mode = path.endsWith(u'/') || path == QLatin1String("./usr/bin/quillmark")
                || path == QLatin1String("./usr/libexec/quillmark/quillmark-window")
            ? QStringLiteral("rwxr-xr-x")
            : QStringLiteral("rw-r--r--");
        EXPECT_EQ(cols[0].mid(1), mode) << line.toStdString();
    }
    for (const char* expected : {"./usr/bin/quillmark", "./usr/libexec/quillmark/quillmark-window",
             "./usr/share/doc/quillmark/copyright",
             "./usr/share/doc/quillmark/changelog.gz", "./usr/share/man/man1/quillmark.1.gz"})
        EXPECT_TRUE(entries.contains(QLatin1String(expected))) << expected;

    const Outcome kind = run(QStringLiteral("file"),
        {QStringLiteral("-b"), package.root() + QStringLiteral("/usr/bin/quillmark")});
    EXPECT_TRUE(kind.out.contains(QLatin1String(", stripped")))
        << "file (Debian package file): " << kind.out.toStdString();
}

void expectMachineReadableCopyrightOfGpl3OrLater(const QString& text)
{
    EXPECT_FALSE(text.contains(QRegularExpression(QStringLiteral("@[A-Z_]+@"))))
        << "a placeholder left unfilled";
    QStringList faults;
    const QList<Paragraph> paragraphs = paragraphsOf(text, faults);
    EXPECT_TRUE(faults.isEmpty()) << faults.join(u'\n').toStdString();
    ASSERT_GE(paragraphs.size(), 2) << text.toStdString();

    const Paragraph& header = paragraphs.first();
    EXPECT_EQ(header.value(QStringLiteral("Format")),
        QStringLiteral("https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/"));
    EXPECT_EQ(header.value(QStringLiteral("Upstream-Name")), QStringLiteral("Quillmark"));

    // Each licence a Files paragraph names is given in full there or in a
    // paragraph of its own.
    QMap<QString, QString> licenceTexts;
    for (const Paragraph& p : paragraphs)
        if (p.contains(QStringLiteral("License")) && p.value(QStringLiteral("License")).contains(u'\n'))
            licenceTexts[firstLine(p.value(QStringLiteral("License")))]
                = p.value(QStringLiteral("License")).section(u'\n', 1);
    QString mainLicence;
    for (const Paragraph& p : paragraphs.mid(1)) {
        if (!p.contains(QStringLiteral("Files")))
            continue;
        const QString files = p.value(QStringLiteral("Files"));
        const QString licence = firstLine(p.value(QStringLiteral("License")));
        EXPECT_FALSE(firstLine(p.value(QStringLiteral("Copyright"))).isEmpty()) << files.toStdString();
        EXPECT_TRUE(licenceTexts.contains(licence))
            << files.toStdString() << ": no text for " << licence.toStdString();
        if (files == QLatin1String("*"))
            mainLicence = licence;
    }
    ASSERT_EQ(mainLicence.toStdString(), "GPL-3+");
    const QString gpl = licenceTexts.value(mainLicence).simplified();
    for (const char* words : {"either version 3 of the License, or (at your option) any later version",
             "/usr/share/common-licenses/GPL-3"})
        EXPECT_TRUE(gpl.contains(QLatin1String(words))) << words;
}

void expectCompressedWithoutNameOrTime(const QString& path, const QByteArray& gz)
{
    ASSERT_GT(gz.size(), 10) << path.toStdString();
    EXPECT_EQ(gz.left(2), QByteArray("\x1f\x8b")) << path.toStdString();
    EXPECT_EQ(gz[3] & 0x08, 0) << path.toStdString() << " keeps the file's name";
    EXPECT_EQ(gz.mid(4, 4), QByteArray(4, '\0')) << path.toStdString() << " keeps a time";
}

void expectThisVersionsChangelog(const QString& text)
{
    // The newest entry is this version's, signed in Debian's form.
    const QStringList lines = text.split(u'\n');
    EXPECT_TRUE(lines.first().startsWith(QStringLiteral("quillmark (" QUILLMARK_VERSION ") ")))
        << lines.first().toStdString();
    static const QRegularExpression signature(
        QStringLiteral("^ -- .+ <[^>]+@[^>]+>  [A-Z][a-z]{2}, \\d{2} [A-Z][a-z]{2} \\d{4} "
                       "\\d{2}:\\d{2}:\\d{2} [+-]\\d{4}$"));
    const auto signed_
        = std::find_if(lines.begin(), lines.end(), [](const QString& l) { return l.startsWith(" -- "); });
    ASSERT_NE(signed_, lines.end());
    EXPECT_TRUE(signature.match(*signed_).hasMatch()) << signed_->toStdString();
}

} // namespace

TEST_F(PackageTest, CarriesItsLicenceAndChangelogAsDebianKeepsThem)
{
    expectDebiansFieldsOwnersAndModes(*package);
    {
        SCOPED_TRACE("copyright");
        expectMachineReadableCopyrightOfGpl3OrLater(
            QString::fromUtf8(contentOf(QString::fromLatin1(kDoc) + "copyright")));
    }
    const QString changelog = QString::fromLatin1(kDoc) + "changelog.gz";
    const QString manual = QStringLiteral("/usr/share/man/man1/quillmark.1.gz");
    for (const QString& path : {changelog, manual})
        expectCompressedWithoutNameOrTime(path, contentOf(path));
    const Outcome history = run(QStringLiteral("gzip"), {QStringLiteral("-dc"), unpacked(changelog)});
    expectThisVersionsChangelog(history.out);

    const QByteArray metainfo
        = contentOf(QStringLiteral("/usr/share/metainfo/" QUILLMARK_APP_ID ".metainfo.xml"));
    EXPECT_TRUE(metainfo.contains("<project_license>GPL-3.0-or-later</project_license>"))
        << metainfo.toStdString();
}

TEST_F(PackageTest, LintianFindsNoError)
{
    const QString lintian = QStandardPaths::findExecutable(QStringLiteral("lintian"));
    if (lintian.isEmpty())
        GTEST_SKIP() << "lintian (Debian package lintian) is not installed";
    const Outcome checked = run(lintian, {QStringLiteral("--no-cfg"), package->deb});
    // 0: no error, 2: errors found; 1 is lintian's own failure.
    ASSERT_TRUE(checked.status == 0 || checked.status == 2) << checked.err.toStdString();
    const QStringList lines = checked.out.split(u'\n', Qt::SkipEmptyParts);
    QStringList errors;
    for (const QString& line : lines)
        if (line.startsWith(QLatin1String("E: ")))
            errors << line;
    EXPECT_TRUE(errors.isEmpty()) << checked.out.toStdString() << checked.err.toStdString();
}
