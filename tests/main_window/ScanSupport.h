#pragma once
// Helpers of the scan tests: the records of a run, the walk order a scan must
// follow (worked out here with plain POSIX calls), and a file system that
// fails on chosen names.
#include "platform/FileSystem.h"

#include <QFile>
#include <QString>
#include <QStringList>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

#include <cerrno>
#include <set>
#include <string>
#include <vector>

#include <dirent.h>
#include <sys/stat.h>

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

// Depth first, each folder's entries in the order the system lists them,
// hidden entries and anything but files and folders left out. Folder paths
// end with "/".
inline void walkOrder(const std::string& folder, QStringList& out)
{
    DIR* dir = opendir(folder.c_str());
    while (const dirent* e = dir ? readdir(dir) : nullptr) {
        const std::string full = folder + e->d_name;
        struct stat st;
        if (e->d_name[0] == '.' || lstat(full.c_str(), &st) != 0)
            continue;
        if (S_ISREG(st.st_mode))
            out << QString::fromStdString(full);
        if (S_ISDIR(st.st_mode)) {
            out << QString::fromStdString(full + "/");
            walkOrder(full + "/", out);
        }
    }
    if (dir)
        closedir(dir);
}

inline QStringList walkOrder(const QString& folderWithSlash)
{
    QStringList out;
    walkOrder(QFile::encodeName(folderWithSlash).toStdString(), out);
    return out;
}

// Fails to open the folders and to look at the entries it is told to; in
// use while it lives.
class FaultyFileSystem : public qm::FileSystem {
public:
    using qm::FileSystem::open;
    using qm::FileSystem::stat;
    std::set<std::string> unreadableFolders;
    std::set<std::string> vanished;

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
        return vanished.count(name) ? ENOENT : qm::FileSystem::stat(folder, name, info);
    }
};

} // namespace scantest
