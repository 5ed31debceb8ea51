// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// RFC 4180 text: a field quoted where it must be, a row closed by CRLF.
#include <QString>
#include <QStringList>

namespace qm {

QString csvField(const QString& value);
// The fields of one row, quoted where needed, joined by commas, with CRLF.
QString csvLine(const QStringList& values);

} // namespace qm
