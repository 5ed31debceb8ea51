// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/TopFolder.h"

#include "catalog/store/Queries.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

#include <string>

namespace qm {
namespace {

std::string utf8(const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

std::optional<TopFolder> topFolderRow(SQLite::Statement& st)
{
    if (!st.executeStep())
        return std::nullopt;
    return TopFolder {QString::fromUtf8(st.getColumn(0).getText()), QString::fromUtf8(st.getColumn(1).getText()),
        QString::fromUtf8(st.getColumn(2).getText())};
}

} // namespace

StartFolder startFolderOf(const QString& reportedPath)
{
    StartFolder top;
    top.fileName = reportedPath;
    top.path = reportedPath.endsWith(u'/') ? reportedPath : reportedPath + u'/';
    return top;
}

std::optional<TopFolder> findTopFolder(SQLite::Database& db, const QString& catalogue, const QString& keyOrPath)
{
    static const QRegularExpression keyPattern(QStringLiteral("^([0-9]+)>?$"));
    if (const auto m = keyPattern.match(keyOrPath); m.hasMatch()) {
        SQLite::Statement st(db, Queries::kTopFolderByKey);
        st.bind(1, utf8(catalogue));
        st.bind(2, utf8(m.captured(1) + u'>'));
        if (auto top = topFolderRow(st))
            return top;
    }
    // A path the way "Add Folder" takes it: absolute, without a closing "/".
    const StartFolder start = startFolderOf(QDir::cleanPath(QFileInfo(keyOrPath).absoluteFilePath()));
    SQLite::Statement st(db, Queries::kTopFolderByPath);
    st.bind(1, utf8(catalogue));
    st.bind(2, utf8(start.fileName));
    st.bind(3, utf8(start.path));
    return topFolderRow(st);
}

} // namespace qm
