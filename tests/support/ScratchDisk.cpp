// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/ScratchDisk.h"

#include <QDir>
#include <QProcess>

namespace qmtest {
namespace {

QString run(const QString& program, const QStringList& arguments)
{
    QProcess p;
    p.start(program, arguments);
    if (!p.waitForFinished(60000))
        return program + QStringLiteral(" did not finish");
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0)
        return program + QStringLiteral(": ") + QString::fromLocal8Bit(p.readAllStandardError()).trimmed();
    return {};
}

} // namespace

ScratchDisk::ScratchDisk(const QString& image, const QString& mountPoint, const QString& label, const QString& uuid)
    : image_(image)
    , mountPoint_(mountPoint)
{
    QDir().mkpath(mountPoint);
    problem_ = run(QStringLiteral("mkfs.ext4"),
        {QStringLiteral("-q"), QStringLiteral("-F"), QStringLiteral("-L"), label, QStringLiteral("-U"), uuid, image,
            QStringLiteral("4M")});
    if (problem_.isEmpty())
        problem_ = run(QStringLiteral("mount"), {QStringLiteral("-o"), QStringLiteral("loop"), image, mountPoint});
    mounted_ = problem_.isEmpty();
}

ScratchDisk::~ScratchDisk()
{
    unmount();
}

bool ScratchDisk::mount()
{
    if (!mounted_)
        mounted_ = run(QStringLiteral("mount"), {QStringLiteral("-o"), QStringLiteral("loop"), image_, mountPoint_})
                       .isEmpty();
    return mounted_;
}

void ScratchDisk::unmount()
{
    if (mounted_)
        run(QStringLiteral("umount"), {mountPoint_});
    mounted_ = false;
}

} // namespace qmtest
