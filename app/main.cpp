// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/AppPaths.h"
#include "cli/Commands.h"
#include "cli/PathOptions.h"
#include "main_window/Form1.h"
#include "main_window/StartUp.h"
#include "platform/MessageBox.h"

#include <QApplication>
#include <QFont>

int main(int argc, char** argv)
{
    // With TZ unset the C library looks the zone file up again at every
    // local-time conversion (twice for each member of a zip); naming that
    // same file lets it keep what it read. Before any thread starts.
    if (!qEnvironmentVariableIsSet("TZ"))
        qputenv("TZ", ":/etc/localtime");
    if (const auto status = qm::takePathOptions(argc, argv))
        return *status;
    if (const auto status = qm::cli::run(argc, argv, qm::cli::contentCommands()))
        return *status;

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

    // The catalogue chosen now is the window's for the whole run, even if a
    // database.mdb appears in the current folder meanwhile.
    qm::setDatabaseFile(qm::databasePath());
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
