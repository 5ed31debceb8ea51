// SPDX-License-Identifier: GPL-3.0-or-later
// The tree editor over a large catalogue beside another one that reuses its
// keys: load, a node click, "Open"; and the report of a large temp as PDF.
#include "Bench.h"

#include "platform/AppPaths.h"
#include "catalog/NameFile.h"
#include "catalog/NodeKeys.h"
#include "catalog/store/Store.h"
#include "platform/MessageBox.h"
#include "platform/TreeView.h"
#include "reports/DataEnvironment1.h"
#include "reports/DataReport1.h"
#include "tree_editor/frmTree.h"

#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>
#include <SQLiteCpp/Transaction.h>

#include <cstdio>
#include <string>

namespace {

double seconds(const QElapsedTimer& t)
{
    return t.nsecsElapsed() / 1e9;
}

// One top-level folder, folders of 200 files each below it.
void fillCatalogue(SQLite::Database& db, const char* name, long long entries)
{
    SQLite::Statement insert(db,
        "INSERT INTO main (ID, Parent, dbaseName, file_name, path, size, date, delKey) "
        "VALUES (?, ?, ?, ?, ?, '1', '2026-01-01 00:00:00', '1>')");
    auto add = [&](long long id, long long parent, const std::string& fileName, const std::string& path) {
        insert.reset();
        insert.bind(1, std::to_string(id) + ">");
        insert.bind(2, std::to_string(parent) + ">");
        insert.bind(3, name);
        insert.bind(4, fileName);
        insert.bind(5, path);
        insert.exec();
    };
    add(1, 0, "/data", "/data/");
    long long folder = 0;
    for (long long id = 2; id <= entries; ++id) {
        if ((id - 2) % 201 == 0) {
            folder = id;
            add(id, 1, "d" + std::to_string(id), "/data/d" + std::to_string(id) + "/");
        } else {
            add(id, folder, "f" + std::to_string(id),
                "/data/d" + std::to_string(folder) + "/f" + std::to_string(id));
        }
    }
}

void treeEditor(const qmbench::Options& options)
{
    QDir::setCurrent(options.workFolder);
    qm::setProgramFolder(options.workFolder);
    qm::Store::create(qm::databasePath());
    qm::setMessageHook([](const QString& text) { std::fprintf(stderr, "message: %s\n", qPrintable(text)); });
    {
        SQLite::Database db(qm::databasePath().toStdString(), SQLite::OPEN_READWRITE);
        SQLite::Transaction t(db);
        fillCatalogue(db, "Other", options.entries / 4);
        fillCatalogue(db, "Bench", options.entries);
        db.exec(
            "INSERT INTO temp (SrNO, file_name, path, size, date) SELECT SrNO, file_name, path, size, date "
            "FROM main WHERE dbaseName = 'Bench' AND SrNO % 20 = 0");
        t.commit();
    }
    qm::NameFile::write(QStringLiteral("Bench"));

    QElapsedTimer timer;
    timer.start();
    qm::frmTree* w = qm::frmTree::showWindow();
    if (!w)
        return;
    std::printf("open the tree editor, %lld records of the shown catalogue among %lld: %.3f s (%lld nodes)\n",
        options.entries, options.entries + options.entries / 4, seconds(timer),
        static_cast<long long>(w->TreeView1->Nodes().Count()));

    const QString last = qm::keyOf(options.entries);
    w->TreeView1->setSelectedItem(w->TreeView1->Nodes().reveal(QStringLiteral("Bench"), last));
    w->Text3->setText(QStringLiteral("edited"));
    timer.restart();
    w->TreeView1_NodeClick(nullptr);
    std::printf("node click on the last record, storing an edit first: %.3f s [%s]\n", seconds(timer),
        qPrintable(w->Text3->text()));

    timer.restart();
    w->Command2_Click();
    std::printf("Open (save the name, rebuild the tree, refresh the cursor): %.3f s\n", seconds(timer));
    w->close();

    timer.restart();
    const std::vector<qm::ReportRow> rows = qm::DataEnvironment1::rsCommand1(qm::databasePath());
    const double read = seconds(timer);
    timer.restart();
    qm::writeReportPdf(QDir(options.workFolder).filePath(QStringLiteral("report.pdf")), rows);
    std::printf("report of %zu temp rows: read %.3f s, PDF %.3f s\n", rows.size(), read, seconds(timer));
}

QM_BENCH("tree-editor", treeEditor);

} // namespace
