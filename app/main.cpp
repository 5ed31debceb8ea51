#include "catalog/AppPaths.h"
#include "catalog/Store.h"
#include "cli/List.h"
#include "cli/PathOptions.h"
#include "main_window/Form1.h"
#include "main_window/HeadlessScan.h"
#include "main_window/StartUp.h"
#include "platform/MessageBox.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFileInfo>
#include <QFont>

#include <cstdio>
#include <cstring>

namespace {

int runCommandLine(int argc, char** argv, bool& handled)
{
    handled = true;
    if (argc >= 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("quillmark %s\n", QUILLMARK_VERSION);
        return 0;
    }
    if (argc >= 3 && std::strcmp(argv[1], "--create-store-if-missing") == 0) {
        QCoreApplication app(argc, argv);
        const QString path = QString::fromLocal8Bit(argv[2]);
        if (qm::Store::problemWith(path).isEmpty())
            return 0;
        const QString error = qm::Store::create(path);
        if (!error.isEmpty()) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            return 1;
        }
        return 0;
    }
    if (argc >= 2 && std::strcmp(argv[1], "list") == 0) {
        QCoreApplication app(argc, argv);
        return qm::runListCommand(QCoreApplication::arguments().mid(2));
    }
    if (argc >= 2 && std::strcmp(argv[1], "add-folder") == 0) {
        QCoreApplication app(argc, argv);
        QStringList args = QCoreApplication::arguments().mid(2);
        return qm::runAddFolderCommand(args);
    }
    handled = false;
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (const auto status = qm::takePathOptions(argc, argv))
        return *status;
    bool handled = false;
    const int status = runCommandLine(argc, argv, handled);
    if (handled)
        return status;

    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(qm::kApplicationTitle));
    QApplication::setApplicationVersion(QStringLiteral(QUILLMARK_VERSION));
    // Secondary windows outlive the main window; the program ends with the last.
    app.setQuitOnLastWindowClosed(true);
    // The windows are laid out for a small 8-point face; Liberation Sans has
    // the metrics of the face they were designed with.
    QFont face(QStringLiteral("Liberation Sans"), 8);
    face.setStyleHint(QFont::SansSerif);
    QApplication::setFont(face);

    if (!qm::checkStoreAtStart(qm::databasePath()))
        return 1;

    auto* form = new qm::Form1;
    form->setAttribute(Qt::WA_DeleteOnClose);
    if (!form->Form_Load()) {
        delete form;
        return 1;
    }
    form->show();
    return app.exec();
}
