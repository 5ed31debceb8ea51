// The folder scan against a plain walk of the same tree, then LoadTree on the
// result and a click on a folder of 20,000 files.
//
//   quillmark_bench --entries 200000 scan
#include "Bench.h"

#include "catalog/AppPaths.h"
#include "catalog/FolderScan.h"
#include "catalog/NameFile.h"
#include "catalog/Store.h"
#include "main_window/Form1.h"
#include "cli/Update.h"
#include "main_window/HeadlessScan.h"
#include "main_window/XpandTree.h"
#include "platform/DataControl.h"
#include "platform/FolderLists.h"
#include "platform/MessageBox.h"
#include "platform/Recordset.h"
#include "platform/TreeView.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTreeWidget>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr long long kFlatFiles = 20000;
constexpr int kFilesPerFolder = 60;

double seconds(const QElapsedTimer& t)
{
    return static_cast<double>(t.nsecsElapsed()) / 1e9;
}

double peakMegabytes()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0; // kilobytes on Linux
}

void makeFile(const std::string& path, long long size)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return;
    if (::ftruncate(fd, size) != 0)
        std::perror(path.c_str());
    ::close(fd);
}

// A tree of about `entries` entries below `root` (which is not counted): one
// flat folder of 20,000 files, the rest nested folders three deep of small
// files. Returns the entry count made.
long long makeTree(const std::string& root, long long entries)
{
    ::mkdir(root.c_str(), 0755);
    long long made = 0;
    const long long flat = std::min(kFlatFiles, std::max(0LL, entries / 2));
    const std::string flatDir = root + "/flat";
    ::mkdir(flatDir.c_str(), 0755);
    ++made;
    for (long long i = 0; i < flat; ++i, ++made)
        makeFile(flatDir + "/file" + std::to_string(i) + ".dat", 100 + (i * 37) % 4000);

    // Folders a<i>/b<j>/c<k> with 60 files in each leaf and 5 in each inner folder.
    long long n = 0;
    for (int a = 0; made < entries; ++a) {
        const std::string da = root + "/a" + std::to_string(a);
        ::mkdir(da.c_str(), 0755);
        ++made;
        for (int b = 0; b < 10 && made < entries; ++b) {
            const std::string db = da + "/b" + std::to_string(b);
            ::mkdir(db.c_str(), 0755);
            ++made;
            for (int f = 0; f < 5 && made < entries; ++f, ++made)
                makeFile(db + "/note" + std::to_string(f) + ".txt", 50 + (n++ * 13) % 3000);
            for (int c = 0; c < 10 && made < entries; ++c) {
                const std::string dc = db + "/c" + std::to_string(c);
                ::mkdir(dc.c_str(), 0755);
                ++made;
                for (int f = 0; f < kFilesPerFolder && made < entries; ++f, ++made)
                    makeFile(dc + "/item" + std::to_string(f) + ".bin", 10 + (n++ * 101) % 20000);
            }
        }
    }
    return made;
}

// The floor: every entry listed and looked at once, nothing else.
void plainWalk(int dirFd, long long& entries, unsigned long long& bytes)
{
    DIR* dir = ::fdopendir(dirFd);
    if (!dir) {
        ::close(dirFd);
        return;
    }
    while (const dirent* e = ::readdir(dir)) {
        const char* name = e->d_name;
        if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
            continue;
        struct stat st;
        if (::fstatat(::dirfd(dir), name, &st, AT_SYMLINK_NOFOLLOW) != 0)
            continue;
        ++entries;
        if (S_ISREG(st.st_mode)) {
            bytes += static_cast<unsigned long long>(st.st_size);
        } else if (S_ISDIR(st.st_mode)) {
            const int sub = ::openat(::dirfd(dir), name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (sub >= 0)
                plainWalk(sub, entries, bytes);
        }
    }
    ::closedir(dir);
}

double floorSeconds(const std::string& root, long long& entries)
{
    QElapsedTimer t;
    t.start();
    entries = 0;
    unsigned long long bytes = 0;
    plainWalk(::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC), entries, bytes);
    return seconds(t);
}

// A fresh store in its own folder, made the current one.
void freshStore(const QString& folder)
{
    QDir().mkpath(folder);
    QDir::setCurrent(folder);
    QFile::remove(qm::databasePath());
    const QString error = qm::Store::create(qm::databasePath());
    if (!error.isEmpty())
        std::fprintf(stderr, "%s\n", qPrintable(error));
}

void scan(const qmbench::Options& options)
{
    qm::setMessageHook([](const QString& text) { std::fprintf(stderr, "message: %s\n", qPrintable(text)); });
    qm::setProgramFolder(options.workFolder);
    qm::NameFile::write(QStringLiteral("Bench"));

    // QM_BENCH_SCAN_TREE names a tree to use instead of a synthetic one (one
    // made by an earlier run and kept, or a real folder).
    const QString given = qEnvironmentVariable("QM_BENCH_SCAN_TREE");
    const QString treeFolder = given.isEmpty() ? QDir(options.workFolder).filePath(QStringLiteral("tree"))
                                               : QDir::cleanPath(given);
    const std::string root = QFile::encodeName(treeFolder).toStdString();
    if (given.isEmpty() || !QFileInfo::exists(given)) {
        QElapsedTimer build;
        build.start();
        const long long made = makeTree(root, options.entries);
        std::printf("tree: %lld entries made in %.1f s\n", made, seconds(build));
    }

    // Warm the cache, then take the best of three plain walks.
    long long walked = 0;
    floorSeconds(root, walked);
    double floor = 1e9;
    for (int i = 0; i < 3; ++i)
        floor = std::min(floor, floorSeconds(root, walked));
    std::printf("floor (readdir + fstatat of every entry): %lld entries in %.3f s, %.0f entries/s\n", walked,
        floor, static_cast<double>(walked) / floor);

    // The store alone: the walk and the records, no window.
    {
        freshStore(QDir(options.workFolder).filePath(QStringLiteral("plain")));
        auto db = qm::openConnection(qm::databasePath());
        QElapsedTimer t;
        t.start();
        qm::FolderScan plain(*db, QStringLiteral("Bench"), 1);
        plain.run(qm::startFolderOf(treeFolder));
        const double s = seconds(t);
        std::printf("scan, store only: %lld records in %.3f s, %.0f entries/s, %.2f x floor\n",
            static_cast<long long>(plain.recordsWritten()), s, static_cast<double>(walked) / s, s / floor);
    }

    // "Add Folder" on the main window into a fresh database.mdb.
    freshStore(QDir(options.workFolder).filePath(QStringLiteral("window")));
    const double rssBefore = peakMegabytes();
    qm::Form1 form;
    form.Form_Load();
    form.Dir1->setPath(treeFolder);
    QElapsedTimer t;
    t.start();
    form.Command2_Click();
    const double scanSeconds = seconds(t);
    const double rssAfter = peakMegabytes();
    std::printf("scan, Add Folder: %lld nodes in %.3f s, %.0f entries/s, %.2f x floor (target 3)\n",
        static_cast<long long>(form.TreeView1->Nodes().Count() - 1), scanSeconds,
        static_cast<double>(walked) / scanSeconds, scanSeconds / floor);
    std::printf("peak memory: %.0f MB before the scan, %.0f MB after (target 300)\n", rssBefore, rssAfter);

    // LoadTree on an emptied tree.
    form.TreeView1->Nodes().Clear();
    t.restart();
    qm::XpandTree::LoadTree(form);
    std::printf("LoadTree: %lld nodes in %.3f s (target 1)\n",
        static_cast<long long>(form.TreeView1->Nodes().Count()), seconds(t));

    // A click on the flat folder.
    SQLite::Statement st(*form.Adodc1->connection(), "SELECT ID FROM main WHERE path = ?");
    st.bind(1, (treeFolder + QStringLiteral("/flat/")).toStdString());
    if (!st.executeStep()) {
        std::printf("click: the flat folder has no record\n");
        return;
    }
    qm::Node* flat = form.TreeView1->Nodes().reveal(QStringLiteral("Bench"), QString::fromStdString(st.getColumn(0).getString()));
    form.TreeView1->setSelectedItem(flat);
    t.restart();
    form.TreeView1_NodeClick(flat);
    std::printf("click on the flat folder: %d rows in %.3f s (target 0.1)\n",
        form.ListView1->topLevelItemCount(), seconds(t));
}

// The same tree scanned ten times into one catalogue by the command line:
// finding a new scan's keys must not grow with what the catalogue holds.
void rescan(const qmbench::Options& options)
{
    qm::setProgramFolder(options.workFolder);
    const QString treeFolder = QDir(options.workFolder).filePath(QStringLiteral("tree"));
    const long long made = makeTree(QFile::encodeName(treeFolder).toStdString(), options.entries);
    freshStore(QDir(options.workFolder).filePath(QStringLiteral("store")));
    std::printf("tree: %lld entries; each run: quillmark add-folder TREE --name Bench\n", made);
    double first = 0;
    for (int run = 1; run <= 10; ++run) {
        QElapsedTimer t;
        t.start();
        qm::runAddFolderCommand({treeFolder, QStringLiteral("--name"), QStringLiteral("Bench")});
        const double s = seconds(t);
        if (run == 1)
            first = s;
        std::printf("run %2d: %.3f s, %.2f x the first\n", run, s, s / first);
    }
    std::printf("peak memory: %.0f MB\n", peakMegabytes());
}

// Updating a scan in place against scanning the same tree afresh, when
// nothing changed and when 1% of the files changed size; rounds interleaved.
void update(const qmbench::Options& options)
{
    qm::setProgramFolder(options.workFolder);
    const QString treeFolder = QDir(options.workFolder).filePath(QStringLiteral("tree"));
    const std::string root = QFile::encodeName(treeFolder).toStdString();
    const long long made = makeTree(root, options.entries);
    freshStore(QDir(options.workFolder).filePath(QStringLiteral("store")));
    std::vector<std::string> files;
    for (const auto& e : std::filesystem::recursive_directory_iterator(root))
        if (e.is_regular_file())
            files.push_back(e.path().string());
    const QStringList updateArgs {QStringLiteral("Bench"), treeFolder};
    qm::runAddFolderCommand({treeFolder, QStringLiteral("--name"), QStringLiteral("Bench")});
    std::printf("tree: %lld entries; scan: quillmark add-folder TREE --name FreshN; update: quillmark update "
                "Bench TREE\n",
        made);
    double scanBest = 1e9, sameBest = 1e9, changedBest = 1e9;
    for (int round = 1; round <= 3; ++round) {
        QElapsedTimer t;
        t.start();
        qm::runAddFolderCommand({treeFolder, QStringLiteral("--name"), QStringLiteral("Fresh%1").arg(round)});
        const double scanned = seconds(t);
        t.restart();
        qm::runUpdateCommand(updateArgs);
        const double same = seconds(t);
        for (size_t i = static_cast<size_t>(round); i < files.size(); i += 100)
            makeFile(files[i], 77 + round);
        t.restart();
        qm::runUpdateCommand(updateArgs);
        const double changed = seconds(t);
        std::printf("round %d: fresh scan %.3f s, update unchanged %.3f s (%.2f x), update 1%% changed %.3f s "
                    "(%.2f x)\n",
            round, scanned, same, same / scanned, changed, changed / scanned);
        scanBest = std::min(scanBest, scanned);
        sameBest = std::min(sameBest, same);
        changedBest = std::min(changedBest, changed);
    }
    std::printf("best: fresh scan %.3f s; update unchanged %.2f x (target 1.5); update 1%% changed %.2f x "
                "(target 1.5)\n",
        scanBest, sameBest / scanBest, changedBest / scanBest);
}

} // namespace

long long qmbench::makeDiskTree(const std::string& root, long long entries)
{
    return makeTree(root, entries);
}

QM_BENCH("scan", scan);
QM_BENCH("update", update);
QM_BENCH("rescan", rescan);
