// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The built program, run from a test's folder with no display to reach, as a
// user runs it from a terminal or a script.
#include "support/TestSupport.h"

#include <functional>

#include <grp.h>
#include <unistd.h>

namespace qmtest {

class ProgramTest : public StoreTest {
protected:
    // `inChild` runs in the child before the program starts (to drop privileges, say).
    Outcome quillmark(const QStringList& args, const std::function<void()>& inChild = {})
    {
        return runProgram(QStringLiteral(QUILLMARK_EXECUTABLE), args, folder(), withoutDisplay(), inChild);
    }
    // The program with its home and cache folders in the test's folder, as
    // root or as an ordinary user.
    Outcome inOwnHome(const QStringList& args, bool asNobody = false)
    {
        QProcessEnvironment env = withoutDisplay();
        env.insert(QStringLiteral("HOME"), folder());
        env.insert(QStringLiteral("XDG_CACHE_HOME"), pathOf(QStringLiteral("cache")));
        return runProgram(QStringLiteral(QUILLMARK_EXECUTABLE), args, folder(), env,
            asNobody ? std::function<void()>(becomeNobody) : std::function<void()>());
    }
    // In the child: root's rights given up for those of user nobody.
    static void becomeNobody()
    {
        constexpr uid_t kNobody = 65534;
        if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)
            ::_exit(126);
    }
    static QProcessEnvironment withoutDisplay()
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(QString::fromLatin1(name));
        return env;
    }
};

} // namespace qmtest
