#pragma once
// Helpers of the scan tests: the records of a run and a file system that
// fails on chosen names.
#include "platform/FileSystem.h"

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
