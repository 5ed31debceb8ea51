// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Helpers of the scan tests: the records of a run and a file system that
// fails on chosen names.
#include "catalog/NodeKeys.h"
#include "platform/FileSystem.h"
#include "platform/FolderLists.h"
#include "support/FormFixture.h"

#include <QCoreApplication>

#include <QString>
#include <QStringList>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace scantest {

struct Rec {
    QString id, parent, dbaseName, fileName, path, size, date, delKey;
};

inline std::vector<Rec> records(SQLite::Database& db, const std::string& where = {})
{
    SQLite::Statement st(db,
        "SELECT ID, Parent, dbaseName, file_name, path, size, date, delKey FROM main "
            + (where.empty() ? std::string() : " WHERE " + where) + " ORDER BY SrNO");
    std::vector<Rec> out;
    while (st.executeStep()) {
        QString f[8];
        for (int i = 0; i < 8; ++i)
            f[i] = QString::fromStdString(st.getColumn(i).getString());
        out.push_back({f[0], f[1], f[2], f[3], f[4], f[5], f[6], f[7]});
    }
    return out;
}

// Fails to open the folders and to look at the entries it is told to, and
// hangs the run up at `hangUpAt` (then takes a while, as a slow disk would);
// in use while it lives.
class FaultyFileSystem : public qm::FileSystem {
public:
    using qm::FileSystem::open;
    using qm::FileSystem::stat;
    std::set<std::string> unreadableFolders;
    std::set<std::string> vanished;
    std::string hangUpAt;

    FaultyFileSystem() { qm::setFileSystem(this); }
    ~FaultyFileSystem() override { qm::setFileSystem(nullptr); }
    std::unique_ptr<qm::Folder> open(qm::Folder& parent, const char* name, int& error) override
    {
        if (unreadableFolders.count(name)) {
            error = EACCES;
            return nullptr;
        }
        return qm::FileSystem::open(parent, name, error);
    }
    int stat(qm::Folder& folder, const char* name, qm::EntryInfo& info) override
    {
        if (name == hangUpAt) {
            hangUpAt.clear();
            std::raise(SIGHUP);
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
        }
        return vanished.count(name) ? ENOENT : qm::FileSystem::stat(folder, name, info);
    }
};

} // namespace scantest

// The quillmark program the tests were built beside.
inline QString programPath()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/../quillmark");
}

// A started main window and folders to scan with it.
class ScanTest : public FormTest {
protected:
    QString tree(const QString& rel)
    {
        for (const char* file : {"a.txt", "b.txt", "one/c.txt", "one/inner/d.txt", "one/e.txt", "two/f.txt",
                 "two/.secret", "g.txt"})
            makeFile(rel + u'/' + QString::fromLatin1(file), 100);
        return pathOf(rel);
    }
    void addFolder(const QString& path)
    {
        ASSERT_TRUE(form->Dir1->setPath(path));
        form->Command2_Click();
        EXPECT_NE(form->cursor().shape(), Qt::WaitCursor) << "the hourglass stayed";
        EXPECT_FALSE(form->TreeView1->Nodes().inBatch());
    }
    // Every record has its node under its parent's, folders with images 1/3
    // and files 2/0, a top-level one showing the path.
    void expectNodesOf(const std::vector<scantest::Rec>& records)
    {
        for (const scantest::Rec& r : records) {
            const qm::Node* n = node(r.id);
            ASSERT_TRUE(n && n->Parent) << r.path.toStdString();
            EXPECT_EQ(n->Parent->Key + u'<' + n->Text + u':' + QString::number(n->Image) + u':'
                    + QString::number(n->SelectedImage),
                r.parent + u'<' + (r.parent == qm::kRootKey ? r.path : r.fileName)
                    + (r.path.endsWith(u'/') ? QStringLiteral(":1:3") : QStringLiteral(":2:0")));
        }
    }
    // The run whose top-level key is `first`: running keys, each record with its node.
    std::vector<scantest::Rec> runFrom(std::int64_t first)
    {
        const auto run = scantest::records(db(), "delKey = '" + qm::keyOf(first).toStdString() + "'");
        for (size_t i = 0; i < run.size(); ++i)
            EXPECT_EQ(run[i].id, qm::keyOf(first + static_cast<std::int64_t>(i)));
        expectNodesOf(run);
        return run;
    }
};

