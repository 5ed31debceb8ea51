// Deleting one scan of a large catalogue and rebuilding the tree.
#include "Bench.h"

#include "catalog/AppPaths.h"
#include "catalog/NameFile.h"
#include "catalog/NodeKeys.h"
#include "catalog/Queries.h"
#include "catalog/Store.h"
#include "main_window/Form1.h"
#include "platform/MessageBox.h"
#include "platform/TreeView.h"

#include <QDir>
#include <QElapsedTimer>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>
#include <SQLiteCpp/Transaction.h>

#include <cstdio>

namespace {

void deleteScan(const qmbench::Options& options)
{
    QDir::setCurrent(options.workFolder);
    qm::setProgramFolder(options.workFolder);
    qm::Store::create(qm::databasePath());
    qm::setMessageHook([](const QString& text) { std::fprintf(stderr, "message: %s\n", qPrintable(text)); });

    // One scan of `entries` records (folders of 100 files) beside a small one.
    const long long entries = options.entries;
    {
        SQLite::Database db(qm::databasePath().toStdString(), SQLite::OPEN_READWRITE);
        SQLite::Transaction t(db);
        SQLite::Statement insert(db, qm::Queries::kInsertRecord);
        auto add = [&](long long id, long long parent, const std::string& name, bool folder, long long del) {
            insert.reset();
            insert.bind(1, qm::keyOf(id).toStdString());
            insert.bind(2, qm::keyOf(parent).toStdString());
            insert.bind(3, "Bench");
            insert.bind(4, name);
            insert.bind(5, "/bench/" + name + (folder ? "/" : ""));
            insert.bind(6, "512");
            insert.bind(7, "2026-01-01 00:00:00");
            insert.bind(8, qm::keyOf(del).toStdString());
            insert.exec();
        };
        add(1, 0, "/big", true, 1);
        long long folderKey = 1;
        for (long long i = 2; i <= entries; ++i) {
            if (i % 101 == 2) {
                add(i, 1, "d" + std::to_string(i), true, 1);
                folderKey = i;
            } else {
                add(i, folderKey, "f" + std::to_string(i), false, 1);
            }
        }
        const long long small = entries + 1;
        add(small, 0, "/small", true, small);
        for (long long i = 1; i <= 1000; ++i)
            add(small + i, small, "s" + std::to_string(i), false, small);
        t.commit();
    }
    qm::NameFile::write(QStringLiteral("Bench"));

    qm::Form1 form;
    QElapsedTimer load;
    load.start();
    form.Form_Load();
    std::printf("start-up with %lld records: %.3f s\n", entries + 1001, load.nsecsElapsed() / 1e9);

    form.TreeView1->setSelectedItem(form.TreeView1->Nodes().find(QStringLiteral("1>")));
    QElapsedTimer timer;
    timer.start();
    form.Command7_Click();
    const double seconds = timer.nsecsElapsed() / 1e9;
    std::printf("delete a scan of %lld records and rebuild the tree: %.3f s (target < 3 s)\n", entries, seconds);
    std::printf("nodes left: %lld\n", static_cast<long long>(form.TreeView1->Nodes().Count()));
}

} // namespace

QM_BENCH("delete-scan", deleteScan);
