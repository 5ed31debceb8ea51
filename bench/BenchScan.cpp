// SPDX-License-Identifier: GPL-3.0-or-later
// The folder scan against a plain walk of the same tree, then LoadTree on the
// result and a click on a folder of 20,000 files.
//
//   quillmark_bench --entries 200000 scan
#include "Bench.h"

#include "platform/AppPaths.h"
#include "catalog/FolderScan.h"
#include "catalog/NameFile.h"
#include "catalog/store/Store.h"
#include "cli/AddFolder.h"
#include "cli/Update.h"
#include "main_window/Form1.h"
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
#include <QProcess>
#include <QStandardPaths>
#include <QTreeWidget>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

#include <algorithm>
#include <initializer_list>
#include <memory>
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

// Seconds one outside program takes over the tree, or a negative number when
// it is not installed or fails.
double toolSeconds(const QString& program, const QStringList& args)
{
    const QString found = QStandardPaths::findExecutable(program);
    if (found.isEmpty())
        return -1;
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer t;
    t.start();
    p.start(found, args);
    if (!p.waitForFinished(-1) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return -1;
    return seconds(t);
}

// Processor seconds of every thread of this program and of the programs it
// waited for: beside the elapsed time, what a run costs on a busy machine.
double cpuSeconds()
{
    rusage self {}, children {};
    getrusage(RUSAGE_SELF, &self);
    getrusage(RUSAGE_CHILDREN, &children);
    auto s = [](const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; };
    return s(self.ru_utime) + s(self.ru_stime) + s(children.ru_utime) + s(children.ru_stime);
}

// The best of the rounds, elapsed and processor time each on its own, or
// negative when there was none.
struct Best {
    double s = -1, cpu = -1;
    double cpuAtStart = 0;
    void start() { cpuAtStart = cpuSeconds(); }
    void take(double x)
    {
        const double c = cpuSeconds() - cpuAtStart;
        if (x >= 0 && (s < 0 || x < s))
            s = x;
        if (x >= 0 && (cpu < 0 || c < cpu))
            cpu = c;
    }
};

void printRatios(const char* what, const Best& b, std::initializer_list<std::pair<const char*, double>> others)
{
    std::printf("%s: %.3f s (%.3f s of processor time)", what, b.s, b.cpu);
    for (const auto& [name, o] : others)
        if (o > 0)
            std::printf(", %.2f x %s", b.s / o, name);
    std::printf("\n");
}

// QM_BENCH_ROUNDS rounds, 3 unless set.
int roundsWanted()
{
    const int wanted = qEnvironmentVariableIntValue("QM_BENCH_ROUNDS");
    return wanted > 0 ? wanted : 3;
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
    const int rounds = roundsWanted();

    // Warm the cache; then every way of reading the tree once a round, one
    // after another, and the best of each: the machine may be busy with other
    // work now and then.
    long long walked = 0;
    floorSeconds(root, walked);
    const QString ducDb = QDir(options.workFolder).filePath(QStringLiteral("duc.db"));
    Best floor, plain, headless, window, ncdu, duc;
    long long nodes = 0;
    double rssBefore = 0, rssAfter = 0;
    std::unique_ptr<qm::Form1> form;
    for (int round = 1; round <= rounds; ++round) {
        floor.start();
        floor.take(floorSeconds(root, walked));

        // The store alone: the walk and the records, no window.
        {
            freshStore(QDir(options.workFolder).filePath(QStringLiteral("plain")));
            auto db = qm::openConnection(qm::databasePath());
            plain.start();
            QElapsedTimer t;
            t.start();
            qm::FolderScan only(*db, QStringLiteral("Bench"), 1);
            only.run(qm::startFolderOf(treeFolder));
            plain.take(seconds(t));
        }

        // quillmark add-folder, as the command line runs it.
        {
            freshStore(QDir(options.workFolder).filePath(QStringLiteral("headless")));
            headless.start();
            QElapsedTimer t;
            t.start();
            std::fflush(stdout);
            const int saved = ::dup(STDOUT_FILENO);
            const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
            ::dup2(null, STDOUT_FILENO);
            qm::runAddFolderCommand({treeFolder, QStringLiteral("--name"), QStringLiteral("Bench")});
            std::fflush(stdout);
            ::dup2(saved, STDOUT_FILENO);
            ::close(saved);
            ::close(null);
            headless.take(seconds(t));
        }

        ncdu.start();
        ncdu.take(toolSeconds(QStringLiteral("ncdu"),
            {QStringLiteral("-0"), QStringLiteral("-x"), QStringLiteral("-o"), QStringLiteral("/dev/null"),
                treeFolder}));
        QFile::remove(ducDb);
        duc.start();
        duc.take(toolSeconds(QStringLiteral("duc"),
            {QStringLiteral("index"), QStringLiteral("-q"), QStringLiteral("-x"), QStringLiteral("-d"), ducDb,
                treeFolder}));

        // "Add Folder" on the main window into a fresh database.mdb.
        form.reset();
        freshStore(QDir(options.workFolder).filePath(QStringLiteral("window")));
        rssBefore = peakMegabytes();
        form = std::make_unique<qm::Form1>();
        form->Form_Load();
        form->Dir1->setPath(treeFolder);
        window.start();
        QElapsedTimer t;
        t.start();
        form->Command2_Click();
        window.take(seconds(t));
        rssAfter = peakMegabytes();
        nodes = form->TreeView1->Nodes().Count() - 1;
        std::printf("round %d: floor %.3f s, store only %.3f s, add-folder %.3f s, ncdu %.3f s, duc %.3f s, "
                    "Add Folder %.3f s\n",
            round, floor.s, plain.s, headless.s, ncdu.s, duc.s, window.s);
    }

    std::printf("floor (readdir + fstatat of every entry): %lld entries in %.3f s (%.3f s of processor time), "
                "%.0f entries/s\n",
        walked, floor.s, floor.cpu, static_cast<double>(walked) / floor.s);
    if (ncdu.s < 0)
        std::printf("ncdu -0 -x -o /dev/null: not installed\n");
    else
        printRatios("ncdu -0 -x -o /dev/null", ncdu, {{"floor", floor.s}});
    if (duc.s < 0)
        std::printf("duc index -x -d DB: not installed\n");
    else
        printRatios("duc index -x -d DB", duc, {{"floor", floor.s}});
    printRatios("scan, store only", plain, {{"floor", floor.s}, {"ncdu", ncdu.s}, {"duc", duc.s}});
    printRatios("scan, quillmark add-folder", headless,
        {{"floor (target 1.25)", floor.s}, {"ncdu (target 1)", ncdu.s}, {"duc (target 1)", duc.s}});
    std::printf("scan, Add Folder: %lld nodes in %.3f s (%.3f s of processor time), %.0f entries/s, %.2f x floor "
                "(target 1.4)\n",
        nodes, window.s, window.cpu, static_cast<double>(walked) / window.s, window.s / floor.s);
    std::printf("best of %d rounds\n", rounds);
    std::printf("peak memory: %.0f MB before the last scan, %.0f MB after (target 300)\n", rssBefore, rssAfter);

    // LoadTree on an emptied tree.
    form->TreeView1->Nodes().Clear();
    QElapsedTimer t;
    t.start();
    qm::XpandTree::LoadTree(*form);
    std::printf("LoadTree: %lld nodes in %.3f s (target 1)\n",
        static_cast<long long>(form->TreeView1->Nodes().Count()), seconds(t));

    // A click on the flat folder.
    SQLite::Statement st(*form->Adodc1->connection(), "SELECT ID FROM main WHERE path = ?");
    st.bind(1, (treeFolder + QStringLiteral("/flat/")).toStdString());
    if (!st.executeStep()) {
        std::printf("click: the flat folder has no record\n");
        return;
    }
    qm::Node* flat = form->TreeView1->Nodes().reveal(QStringLiteral("Bench"), QString::fromStdString(st.getColumn(0).getString()));
    form->TreeView1->setSelectedItem(flat);
    t.restart();
    form->TreeView1_NodeClick(flat);
    std::printf("click on the flat folder: %d rows in %.3f s (target 0.1)\n",
        form->ListView1->topLevelItemCount(), seconds(t));
    // Clicked again, the list it replaces is emptied first; one click is
    // too short to time alone.
    double best = -1;
    for (int i = 0; i < 5; ++i) {
        t.restart();
        form->TreeView1_NodeClick(flat);
        best = best < 0 ? seconds(t) : std::min(best, seconds(t));
    }
    std::printf("click on the flat folder again: best of 5 %.3f s\n", best);
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
    const int rounds = roundsWanted();
    double scanBest = 1e9, sameBest = 1e9, changedBest = 1e9;
    for (int round = 1; round <= rounds; ++round) {
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
