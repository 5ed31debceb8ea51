// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The built program, run from a test's folder with no display to reach, as a
// user runs it from a terminal or a script.
#include "support/TestSupport.h"

#include <functional>

namespace qmtest {

class ProgramTest : public StoreTest {
protected:
    // `inChild` runs in the child before the program starts (to drop privileges, say).
    Outcome quillmark(const QStringList& args, const std::function<void()>& inChild = {})
    {
        return runProgram(QStringLiteral(QUILLMARK_EXECUTABLE), args, folder(), withoutDisplay(), inChild);
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
