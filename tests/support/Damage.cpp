// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/Damage.h"

#include <QFile>
#include <QRandomGenerator>

#include <SQLiteCpp/Statement.h>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

namespace qmtest {

std::vector<long long> pagesOf(SQLite::Database& db, const char* table, const char* pagetype)
{
    std::vector<long long> pages;
    try {
        SQLite::Statement st(db, "SELECT pageno FROM dbstat WHERE name = ? AND pagetype = ? ORDER BY pageno");
        st.bind(1, table);
        st.bind(2, pagetype);
        while (st.executeStep())
            pages.push_back(st.getColumn(0).getInt64());
    } catch (const std::exception&) {
    }
    return pages;
}

long long cellsOn(SQLite::Database& db, long long page)
{
    SQLite::Statement st(db, "SELECT ncell FROM dbstat WHERE pageno = ?");
    st.bind(1, static_cast<std::int64_t>(page));
    return st.executeStep() ? st.getColumn(0).getInt64() : -1;
}

void rotPage(const QString& path, long long page, unsigned seed)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat before {};
    ASSERT_EQ(::stat(name.constData(), &before), 0);
    long long pageSize = 0;
    {
        SQLite::Database db(path.toStdString(), SQLite::OPEN_READONLY);
        pageSize = db.execAndGet("PRAGMA page_size").getInt64();
    }
    QByteArray noise(64, '\0');
    QRandomGenerator random(seed);
    for (char& c : noise)
        c = static_cast<char>(random.bounded(256));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    // Page 1 starts with the file's own header; any other page with its b-tree header.
    ASSERT_TRUE(file.seek((page - 1) * pageSize + (page == 1 ? 100 : 0)));
    ASSERT_EQ(file.write(noise), noise.size());
    file.close();
    const struct timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, name.constData(), times, 0), 0);
}

} // namespace qmtest
