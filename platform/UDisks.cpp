// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/UDisks.h"

#include <QFile>
#include <QFileInfo>

#include <dbus/dbus.h>

#include <memory>

namespace qm {
namespace {

// libdbus directly rather than Qt D-Bus: Qt's bus runs on a thread of its
// own that outlived a command's last call, and a program that ended right
// after asking (a refused update) crashed now and then while its statics
// were torn down. Here every question is a private connection, asked and
// closed on the caller's thread: nothing is left running.
constexpr const char* kService = "org.freedesktop.UDisks2";
constexpr int kWaitMs = 1500;

struct Bus {
    DBusConnection* connection = nullptr;
    Bus()
    {
        DBusError error;
        dbus_error_init(&error);
        connection = dbus_bus_get_private(DBUS_BUS_SYSTEM, &error);
        dbus_error_free(&error);
        if (connection)
            dbus_connection_set_exit_on_disconnect(connection, FALSE);
    }
    ~Bus()
    {
        if (connection) {
            dbus_connection_close(connection);
            dbus_connection_unref(connection);
        }
    }
    Bus(const Bus&) = delete;
    Bus& operator=(const Bus&) = delete;
};

using Message = std::unique_ptr<DBusMessage, decltype(&dbus_message_unref)>;

// The reply to `call`, or null when there is none (no such service or
// object, an error, no answer in time).
Message ask(DBusConnection* connection, const Message& call)
{
    if (!call)
        return {nullptr, dbus_message_unref};
    DBusError error;
    dbus_error_init(&error);
    DBusMessage* reply = dbus_connection_send_with_reply_and_block(connection, call.get(), kWaitMs, &error);
    dbus_error_free(&error);
    if (reply && dbus_message_get_type(reply) != DBUS_MESSAGE_TYPE_METHOD_RETURN) {
        dbus_message_unref(reply);
        reply = nullptr;
    }
    return {reply, dbus_message_unref};
}

// The block device's object: asked of the manager (UDisks 2.7.3 and later),
// else the name UDisks2 has always given it.
QString objectOf(DBusConnection* connection, const QByteArray& device)
{
    Message call(dbus_message_new_method_call(kService, "/org/freedesktop/UDisks2/Manager",
                     "org.freedesktop.UDisks2.Manager", "ResolveDevice"),
        dbus_message_unref);
    // ResolveDevice({"path": <device>}, {}) -> array of object paths
    bool built = call != nullptr;
    if (built) {
        DBusMessageIter args, wanted, entry, value, options;
        const char* key = "path";
        const char* path = device.constData();
        dbus_message_iter_init_append(call.get(), &args);
        built = dbus_message_iter_open_container(&args, DBUS_TYPE_ARRAY, "{sv}", &wanted)
            && dbus_message_iter_open_container(&wanted, DBUS_TYPE_DICT_ENTRY, nullptr, &entry)
            && dbus_message_iter_append_basic(&entry, DBUS_TYPE_STRING, &key)
            && dbus_message_iter_open_container(&entry, DBUS_TYPE_VARIANT, "s", &value)
            && dbus_message_iter_append_basic(&value, DBUS_TYPE_STRING, &path)
            && dbus_message_iter_close_container(&entry, &value) && dbus_message_iter_close_container(&wanted, &entry)
            && dbus_message_iter_close_container(&args, &wanted)
            && dbus_message_iter_open_container(&args, DBUS_TYPE_ARRAY, "{sv}", &options)
            && dbus_message_iter_close_container(&args, &options);
    }
    if (built)
        if (const Message reply = ask(connection, call)) {
            DBusMessageIter it, paths;
            if (dbus_message_iter_init(reply.get(), &it) && dbus_message_iter_get_arg_type(&it) == DBUS_TYPE_ARRAY) {
                dbus_message_iter_recurse(&it, &paths);
                if (dbus_message_iter_get_arg_type(&paths) == DBUS_TYPE_OBJECT_PATH) {
                    const char* found = nullptr;
                    dbus_message_iter_get_basic(&paths, &found);
                    return QString::fromUtf8(found);
                }
            }
        }
    const QString real = QFileInfo(QFile::decodeName(device)).canonicalFilePath();
    if (!real.startsWith(QLatin1String("/dev/")))
        return {};
    return QStringLiteral("/org/freedesktop/UDisks2/block_devices/")
        + udisksObjectName(QFile::encodeName(QFileInfo(real).fileName()));
}

// A string property of the object's Block interface; empty when not told.
QString property(DBusConnection* connection, const QByteArray& object, const char* name)
{
    Message call(dbus_message_new_method_call(
                     kService, object.constData(), "org.freedesktop.DBus.Properties", "Get"),
        dbus_message_unref);
    const char* interface = "org.freedesktop.UDisks2.Block";
    if (!call
        || !dbus_message_append_args(
            call.get(), DBUS_TYPE_STRING, &interface, DBUS_TYPE_STRING, &name, DBUS_TYPE_INVALID))
        return {};
    const Message reply = ask(connection, call);
    DBusMessageIter it, value;
    if (!reply || !dbus_message_iter_init(reply.get(), &it) || dbus_message_iter_get_arg_type(&it) != DBUS_TYPE_VARIANT)
        return {};
    dbus_message_iter_recurse(&it, &value);
    if (dbus_message_iter_get_arg_type(&value) != DBUS_TYPE_STRING)
        return {};
    const char* text = nullptr;
    dbus_message_iter_get_basic(&value, &text);
    return QString::fromUtf8(text);
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
    // D-Bus strings are UTF-8 without NULs: a device named otherwise is not asked about.
    const QByteArray name = QFile::encodeName(device);
    if (!device.startsWith(QLatin1String("/dev/")) || name.contains('\0') || QString::fromUtf8(name).toUtf8() != name
        || !dbus_validate_utf8(name.constData(), nullptr))
        return false;
    Bus bus;
    if (!bus.connection)
        return false;
    const QString object = objectOf(bus.connection, name);
    const QByteArray path = object.toUtf8();
    if (object.isEmpty() || !dbus_validate_path(path.constData(), nullptr))
        return false;
    const QString uuid = property(bus.connection, path, "IdUUID");
    const QString label = property(bus.connection, path, "IdLabel");
    const QString type = property(bus.connection, path, "IdType");
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
