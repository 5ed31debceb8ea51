// SPDX-License-Identifier: GPL-3.0-or-later
// A scan that lists archive members, beside a loop of `bsdtar -tvf` over the
// same archives (the target: at most 1.5 times the loop's time).
//
//   quillmark_bench archives     (QM_BENCH_ARCHIVES, QM_BENCH_MEMBERS: 1000 each)
#include "Bench.h"

#include "catalog/store/Store.h"
#include "cli/AddFolder.h"
#include "platform/AppPaths.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>

namespace {

int setting(const char* name, int otherwise)
{
    const char* value = std::getenv(name);
    return value && std::atoi(value) > 0 ? std::atoi(value) : otherwise;
}

// A zip of `members` small files in folders of 100, as a photo export is.
bool writeZip(const std::string& path, int members)
{
    archive* a = archive_write_new();
    archive_write_set_format_zip(a);
    bool ok = archive_write_open_filename(a, path.c_str()) == ARCHIVE_OK;
    const std::string data(64, 'x');
    for (int i = 0; ok && i < members; ++i) {
        archive_entry* entry = archive_entry_new();
        const std::string name
            = "shoot-" + std::to_string(i / 100) + "/IMG_" + std::to_string(1000 + i) + ".jpg";
        archive_entry_set_pathname(entry, name.c_str());
        archive_entry_set_filetype(entry, AE_IFREG);
        archive_entry_set_perm(entry, 0644);
        archive_entry_set_size(entry, static_cast<la_int64_t>(data.size()));
        archive_entry_set_mtime(entry, 1561939200 + i, 0);
        ok = archive_write_header(a, entry) == ARCHIVE_OK
            && archive_write_data(a, data.data(), data.size()) == static_cast<la_ssize_t>(data.size());
        archive_entry_free(entry);
    }
    ok = archive_write_close(a) == ARCHIVE_OK && ok;
    archive_write_free(a);
    return ok;
}

double bestOfThree(const std::function<bool()>& run)
{
    double best = -1;
    for (int i = 0; i < 3; ++i) {
        QElapsedTimer timer;
        timer.start();
        if (!run())
            return -1;
        const double s = static_cast<double>(timer.nsecsElapsed()) / 1e9;
        best = best < 0 ? s : std::min(best, s);
    }
    return best;
}

void archives(const qmbench::Options& options)
{
    const int count = setting("QM_BENCH_ARCHIVES", 1000), members = setting("QM_BENCH_MEMBERS", 1000);
    QDir::setCurrent(options.workFolder);
    const QString tree = options.workFolder + QStringLiteral("/zips");
    QStringList files;
    for (int i = 0; i < count; ++i) {
        const QString folder = tree + QStringLiteral("/year-%1").arg(i / 100);
        QDir().mkpath(folder);
        files << folder + QStringLiteral("/export-%1.zip").arg(i);
        if (!writeZip(files.back().toStdString(), members)) {
            std::printf("could not write %s\n", qPrintable(files.back()));
            return;
        }
    }

    const double bsdtar = bestOfThree([&] {
        for (const QString& file : files) {
            QProcess p;
            p.setStandardOutputFile(QProcess::nullDevice());
            p.start(QStringLiteral("bsdtar"), {QStringLiteral("-tvf"), file});
            if (!p.waitForFinished(-1) || p.exitCode() != 0)
                return false;
        }
        return true;
    });
    if (bsdtar < 0)
        std::printf("bsdtar (Debian package libarchive-tools) did not run; no comparison\n");
    else
        std::printf("bsdtar -tvf, one run a file, %d zips of %d members: %.3f s\n", count, members, bsdtar);

    const double scan = bestOfThree([&] {
        QFile::remove(qm::databasePath());
        qm::Store::create(qm::databasePath());
        return qm::runAddFolderCommand({tree, QStringLiteral("--name=Bench"), QStringLiteral("--archives")})
            == 0;
    });
    std::printf("quillmark add-folder --archives, same zips: %.3f s", scan);
    if (bsdtar > 0 && scan > 0)
        std::printf(", %.2f times the bsdtar loop's (target <= 1.5)", scan / bsdtar);
    std::printf("\n");
}

} // namespace

QM_BENCH("archives", archives);
