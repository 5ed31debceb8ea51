// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Catalogues made by real scans of folders on disk, for the search tests.
#include "catalog/FolderScan.h"
#include "find/Query.h"
#include "find/SearchIndex.h"
#include "support/TestSupport.h"

#include <QDateTime>

#include <SQLiteCpp/Statement.h>

#include <algorithm>

// Scans of two folders made on disk, over any store fixture.
template <class Fixture> class WithDisks : public Fixture {
protected:
    // Disk A: names with capitals, pattern characters and quotes; Disk B: a few more.
    void scanTwoDisks()
    {
        for (const auto& [file, bytes] : std::initializer_list<std::pair<const char*, qint64>> {
                 {"diskA/Reports/Report 2024.PDF", 3000}, {"diskA/Reports/report-draft.txt", 100},
                 {"diskA/Reports/old/summary.pdf", 20000}, {"diskA/50% off.txt", 10}, {"diskA/a_b.txt", 10},
                 {"diskA/axb.txt", 10}, {"diskA/it's.txt", 10}, {"diskA/star*name.txt", 10},
                 {"diskA/starXname.txt", 10}, {"diskA/Photo.JPG", 2 * 1048576}, {"diskB/report final.doc", 500},
                 {"diskB/Music/song.mp3", 4096}})
            this->makeFile(QString::fromLatin1(file), bytes);
        scan(QStringLiteral("diskA"), QStringLiteral("Disk A"));
        scan(QStringLiteral("diskB"), QStringLiteral("Disk B"));
    }
    void scan(const QString& folder, const QString& catalogue)
    {
        qm::FolderScan run(this->db(), catalogue, 1);
        ASSERT_FALSE(run.run(qm::startFolderOf(this->pathOf(folder))).isEmpty());
    }
};

class FindTest : public WithDisks<qmtest::StoreTest> {
protected:
    void TearDown() override
    {
        index_.reset();
        StoreTest::TearDown();
    }
    void setCreated(const QString& name, const char* localTime)
    {
        SQLite::Statement st(db(), "UPDATE main SET created = ? WHERE file_name = ?");
        st.bind(1, static_cast<int64_t>(QDateTime::fromString(QString::fromLatin1(localTime), Qt::ISODate)
                                            .toSecsSinceEpoch()));
        st.bind(2, name.toStdString());
        ASSERT_EQ(st.exec(), 1);
    }
    qm::find::SearchIndex& index()
    {
        if (!index_)
            index_ = std::make_unique<qm::find::SearchIndex>(storePath());
        index_->sync();
        return *index_;
    }
    // The hits of a query, in the order found.
    std::vector<qm::find::Hit> hits(const QString& text, bool caseSensitive = false)
    {
        const qm::find::ParsedQuery parsed = qm::find::parseQuery(text, caseSensitive);
        EXPECT_EQ(parsed.error, QString()) << text.toStdString();
        std::vector<std::uint32_t> entries;
        index().search(parsed.query, [&](std::uint32_t e) {
            entries.push_back(e);
            return true;
        });
        return index().details(entries);
    }
    // Their names, sorted.
    QStringList found(const QString& text, bool caseSensitive = false)
    {
        QStringList names;
        for (const qm::find::Hit& h : hits(text, caseSensitive))
            names << h.name;
        names.sort();
        return names;
    }

    std::unique_ptr<qm::find::SearchIndex> index_;
};
