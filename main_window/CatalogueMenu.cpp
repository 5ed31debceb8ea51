// SPDX-License-Identifier: GPL-3.0-or-later
#include "main_window/CatalogueMenu.h"

#include "catalog/Catalogues.h"
#include "main_window/Form1.h"
#include "platform/DataControl.h"
#include "platform/Numbers.h"
#include "platform/TreeView.h"

#include <QAction>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>

#include <SQLiteCpp/Database.h>

namespace qm {

CatalogueMenu::CatalogueMenu(Form1& form, QMenu& menu)
    : QObject(&form), form_(form), open_(new QMenu(QStringLiteral("&Open Catalogue"), &menu))
{
    open_->setObjectName(QStringLiteral("OpenCatalogueMenu"));
    QAction* first = menu.actions().value(0);
    menu.insertMenu(first, open_);
    QAction* rename = new QAction(QStringLiteral("&Rename Catalogue..."), &menu);
    rename->setObjectName(QStringLiteral("RenameCatalogue"));
    connect(rename, &QAction::triggered, &form, &Form1::RenameCatalogue_Click);
    menu.insertAction(first, rename);
    menu.insertSeparator(first);
    // Read when opened: another window or program may have added some.
    connect(open_, &QMenu::aboutToShow, this, &CatalogueMenu::fill);
    // The name goes into the name box and "Open Database" opens it: the same
    // road, the same results, the name box's completions untouched.
    connect(open_, &QMenu::triggered, this, [this](QAction* chosen) {
        if (!chosen->data().isValid())
            return;
        form_.Text8->setText(chosen->data().toString());
        form_.Command5_Click();
    });
}

void CatalogueMenu::fill()
{
    open_->clear();
    const QString shown = form_.shownDatabaseName();
    const QLocale locale = figureLocale();
    try {
        auto db = form_.Adodc1->connection();
        if (!db)
            throw std::runtime_error("The catalogue database is not open.");
        for (const QString& name : catalogueNames(*db)) {
            const std::int64_t records = catalogueRecordCount(*db, name);
            const std::int64_t disks = catalogueDiskCount(*db, name);
            QString text = (name.isEmpty() ? QStringLiteral("\"\"") : name) + QStringLiteral(" (")
                + locale.toString(static_cast<qlonglong>(records))
                + (records == 1 ? QStringLiteral(" record") : QStringLiteral(" records"));
            if (disks > 0)
                text += QStringLiteral(", ") + locale.toString(static_cast<qlonglong>(disks))
                    + (disks == 1 ? QStringLiteral(" disk") : QStringLiteral(" disks"));
            text += u')';
            // A name's own "&" is shown, never taken for a mnemonic.
            QAction* action = open_->addAction(text.replace(u'&', QStringLiteral("&&")));
            action->setData(name);
            action->setCheckable(true);
            action->setChecked(name == shown && form_.TreeView1->Nodes().Item(1) != nullptr);
        }
    } catch (const std::exception& e) {
        open_->addAction(QString::fromUtf8(e.what()))->setEnabled(false);
        return;
    }
    if (open_->isEmpty())
        open_->addAction(QStringLiteral("No catalogue yet"))->setEnabled(false);
}

} // namespace qm
