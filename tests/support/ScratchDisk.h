// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A small ext4 file system of the test's own, made in an image file and
// mounted through a loop device for as long as the object lives. Needs root
// and a system that allows loop mounts; `mounted()` tells whether it worked.
#include <QString>

namespace qmtest {

class ScratchDisk {
public:
    ScratchDisk(const QString& image, const QString& mountPoint, const QString& label, const QString& uuid);
    ~ScratchDisk();
    ScratchDisk(const ScratchDisk&) = delete;
    ScratchDisk& operator=(const ScratchDisk&) = delete;

    bool mounted() const { return mounted_; }
    // What stopped the mount.
    const QString& problem() const { return problem_; }
    void unmount();
    // Mounts the file system made by the constructor again (the disk plugged
    // in again); true when it worked.
    bool mount();

private:
    QString image_;
    QString mountPoint_;
    bool mounted_ = false;
    QString problem_;
};

} // namespace qmtest
