// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/UDisks.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QFile>
#include <QFileInfo>
#include <QVariantMap>

namespace qm {
namespace {

const QString kService = QStringLiteral("org.freedesktop.UDisks2");
const QString kBlock = QStringLiteral("org.freedesktop.UDisks2.Block");
constexpr int kWaitMs = 1500;

QDBusMessage call(QDBusConnection& bus, const QDBusMessage& message)
{
    return bus.call(message, QDBus::Block, kWaitMs);
}

// The block device's object: asked of the manager (UDisks 2.7.3 and later),
// else the name UDisks2 has always given it.
QString objectOf(QDBusConnection& bus, const QString& device)
{
    QDBusMessage resolve = QDBusMessage::createMethodCall(kService, QStringLiteral("/org/freedesktop/UDisks2/Manager"),
        QStringLiteral("org.freedesktop.UDisks2.Manager"), QStringLiteral("ResolveDevice"));
    resolve << QVariantMap {{QStringLiteral("path"), device}} << QVariantMap {};
    const QDBusMessage answer = call(bus, resolve);
    if (answer.type() == QDBusMessage::ReplyMessage && !answer.arguments().isEmpty()) {
        const auto paths = qdbus_cast<QList<QDBusObjectPath>>(answer.arguments().constFirst());
        if (!paths.isEmpty())
            return paths.constFirst().path();
    }
    const QString real = QFileInfo(device).canonicalFilePath();
    if (!real.startsWith(QLatin1String("/dev/")))
        return {};
    return QStringLiteral("/org/freedesktop/UDisks2/block_devices/")
        + udisksObjectName(QFile::encodeName(QFileInfo(real).fileName()));
}

QString property(QDBusConnection& bus, const QString& object, const QString& name)
{
    QDBusMessage get = QDBusMessage::createMethodCall(
        kService, object, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << kBlock << name;
    const QDBusMessage answer = call(bus, get);
    if (answer.type() != QDBusMessage::ReplyMessage || answer.arguments().isEmpty())
        return {};
    return qdbus_cast<QDBusVariant>(answer.arguments().constFirst()).variant().toString();
}

} // namespace

QString udisksObjectName(const QByteArray& name)
{
    QString out;
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') || (byte >= '0' && byte <= '9'))
            out += QLatin1Char(c);
        else
            out += QStringLiteral("_%1").arg(byte, 2, 16, QLatin1Char('0'));
    }
    return out;
}

bool askUDisks(const QString& device, DiskIdentity& disk)
{
    // The bus needs an application object; a caller without one (a plain
    // library use) does without UDisks2.
    if (!QCoreApplication::instance() || !device.startsWith(QLatin1String("/dev/")))
        return false;
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected())
        return false;
    const QString object = objectOf(bus, device);
    if (object.isEmpty())
        return false;
    const QString uuid = property(bus, object, QStringLiteral("IdUUID"));
    const QString label = property(bus, object, QStringLiteral("IdLabel"));
    const QString type = property(bus, object, QStringLiteral("IdType"));
    if (uuid.isEmpty() && label.isEmpty() && type.isEmpty())
        return false;
    if (disk.uuid.isEmpty())
        disk.uuid = uuid;
    if (disk.label.isEmpty())
        disk.label = label;
    if (disk.fsType.isEmpty())
        disk.fsType = type;
    return true;
}

} // namespace qm
