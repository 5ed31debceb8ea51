#include "platform/DiskIdentity.h"
#include "support/ScratchDisk.h"
#include "support/TestSupport.h"

using namespace qm;

namespace {
using DiskIdentityTest = qmtest::StoreTest;
}

TEST_F(DiskIdentityTest, DiskOfAFolderAndOfAMountedVolume)
{
    const DiskIdentity here = diskOf(folder());
    ASSERT_TRUE(here.known());
    EXPECT_TRUE(folder().startsWith(here.mountPoint)) << here.mountPoint.toStdString();
    EXPECT_FALSE(here.fsType.isEmpty());
    EXPECT_GT(here.totalBytes, 0);
    EXPECT_TRUE(here.freeBytes >= 0 && here.freeBytes <= here.totalBytes);
    EXPECT_FALSE(diskOf(pathOf(QStringLiteral("missing"))).known());

    qmtest::ScratchDisk disk(pathOf(QStringLiteral("disk.img")), pathOf(QStringLiteral("mnt")),
        QStringLiteral("HOLIDAYS 24"), QStringLiteral("0b1e7d52-6a55-4c5c-9b1a-2f4a7c3e9d10"));
    if (!disk.mounted())
        GTEST_SKIP() << "no loop mount here: " << disk.problem().toStdString();
    makeDir(QStringLiteral("mnt/photos"));
    const DiskIdentity volume = diskOf(pathOf(QStringLiteral("mnt/photos")));
    EXPECT_EQ(volume.mountPoint, pathOf(QStringLiteral("mnt")));
    EXPECT_EQ(volume.label, QStringLiteral("HOLIDAYS 24"));
    EXPECT_EQ(volume.uuid, QStringLiteral("0b1e7d52-6a55-4c5c-9b1a-2f4a7c3e9d10"));
    EXPECT_EQ(volume.fsType, QStringLiteral("ext4"));
    EXPECT_TRUE(volume.device.startsWith(QLatin1String("/dev/loop"))) << volume.device.toStdString();
    EXPECT_LT(volume.totalBytes, 8 << 20);
}
