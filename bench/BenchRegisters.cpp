// SPDX-License-Identifier: GPL-3.0-or-later
// Walks of a large register: Search, Search next and Add's duplicate check.
#include "Bench.h"

#include "platform/AppPaths.h"
#include "catalog/store/Store.h"
#include "platform/MessageBox.h"
#include "registers/RegisterDefinitions.h"
#include "registers/RegisterWindow.h"

#include <QDir>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>
#include <SQLiteCpp/Transaction.h>

#include <cstdio>
#include <string>

namespace {

constexpr long long kRecords = 100000;

void fill(const qm::RegisterDefinition& d)
{
    SQLite::Database db(qm::databasePath().toStdString(), SQLite::OPEN_READWRITE);
    SQLite::Transaction t(db);
    SQLite::Statement insert(db,
        QStringLiteral("INSERT INTO \"%1\" (\"%2\", \"%3\") VALUES (?, ?)")
            .arg(d.table, d.fileNameField, d.rows[1].field)
            .toStdString());
    for (long long i = 1; i <= kRecords; ++i) {
        insert.reset();
        insert.bind(1, "file" + std::to_string(i) + ".txt");
        insert.bind(2, "a description of some length for record " + std::to_string(i));
        insert.exec();
    }
    t.commit();
}

double seconds(const QElapsedTimer& t)
{
    return t.nsecsElapsed() / 1e9;
}

void registers(const qmbench::Options& options)
{
    QDir::setCurrent(options.workFolder);
    qm::setProgramFolder(options.workFolder);
    qm::Store::create(qm::databasePath());
    qm::setMessageHook([](const QString& text) { std::fprintf(stderr, "message: %s\n", qPrintable(text)); });
    fill(qm::projectsRegister());
    fill(qm::documentsRegister());

    QElapsedTimer timer;
    timer.start();
    qm::RegisterWindow* projects = qm::RegisterWindow::showFor(qm::projectsRegister(), "x.txt", "7>");
    if (!projects)
        return;
    std::printf("open Projects with %lld records: %.3f s\n", kRecords, seconds(timer));

    projects->Text5->setText(QStringLiteral("no such file"));
    timer.restart();
    projects->Command10_Click();
    std::printf("Search without a match over %lld records: %.3f s (target < 0.3 s) [%s]\n", kRecords,
        seconds(timer), qPrintable(projects->Text5->text()));

    projects->Text5->setText(QStringLiteral("file1.txt"));
    projects->Command10_Click();
    timer.restart();
    projects->Command11_Click();
    std::printf("Search next from the first record to the end: %.3f s [%s]\n", seconds(timer),
        qPrintable(projects->Text5->text()));

    qm::RegisterWindow* documents = qm::RegisterWindow::showFor(qm::documentsRegister(), "new.txt", "8>");
    if (!documents)
        return;
    timer.restart();
    documents->Command4_Click();
    std::printf("Add's duplicate check without a match over %lld records: %.3f s [%s]\n", kRecords,
        seconds(timer), qPrintable(documents->Text1->text()));
    documents->close();
    projects->close();
}

} // namespace

QM_BENCH("registers", registers);
