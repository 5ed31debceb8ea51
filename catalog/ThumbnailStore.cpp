// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalog/ThumbnailStore.h"

#include "platform/Recordset.h"

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

namespace qm {

std::optional<ItemThumbnail> storedThumbnail(SQLite::Database& db, std::int64_t srNo)
{
    try {
        SQLite::Statement st(db, "SELECT Width, Height, Image FROM thumbnails WHERE SrNO = ?");
        st.bind(1, static_cast<int64_t>(srNo));
        if (!st.executeStep())
            return std::nullopt;
        ItemThumbnail t;
        t.width = static_cast<std::uint16_t>(st.getColumn(0).getInt());
        t.height = static_cast<std::uint16_t>(st.getColumn(1).getInt());
        const SQLite::Column image = st.getColumn(2);
        t.image = QByteArray(static_cast<const char*>(image.getBlob()), image.getBytes());
        if (t.image.isEmpty())
            return std::nullopt;
        return t;
    } catch (const std::exception& e) {
        throw DbError(e.what());
    }
}

QString thumbnailHtml(const ItemThumbnail& thumbnail)
{
    return QStringLiteral("<img src=\"data:image/jpeg;base64,") + QString::fromLatin1(thumbnail.image.toBase64())
        + QStringLiteral("\" width=\"%1\" height=\"%2\">").arg(thumbnail.width).arg(thumbnail.height);
}

} // namespace qm
