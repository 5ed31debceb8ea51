#include "catalog/NameFile.h"

#include "catalog/AppPaths.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

namespace qm::NameFile {

QString path() { return QDir(programFolder()).filePath(QStringLiteral("dbase.name")); }

QString firstLine(const QByteArray& content)
{
    // A line ends at the first CR; the LF of a CR LF pair is part of that end.
    // A lone LF is not a line end here, it belongs to the name.
    const qsizetype cr = content.indexOf('\r');
    return QString::fromUtf8(cr < 0 ? content : content.left(cr));
}

QString read()
{
    QFile file(path());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return firstLine(file.readAll());
}

bool write(const QString& name)
{
    QSaveFile file(path());
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QByteArray line = name.toUtf8() + "\r\n";
    if (file.write(line) != line.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

} // namespace qm::NameFile
