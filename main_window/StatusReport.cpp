// SPDX-License-Identifier: GPL-3.0-or-later
#include "main_window/StatusReport.h"

#include "catalog/Catalogues.h"
#include "catalog/FolderScan.h"
#include "catalog/NameFile.h"
#include "catalog/Scans.h"
#include "platform/Numbers.h"
#include "main_window/Form1.h"
#include "main_window/UndoOffer.h"
#include "platform/DataControl.h"
#include "platform/TreeView.h"

#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QPushButton>
#include <QStatusBar>

#include <SQLiteCpp/Database.h>

namespace qm {
namespace {

// The catalogues named with their sizes in the hint; the button offers all.
constexpr int kCataloguesNamed = 5;

QString entries(std::int64_t count, const QLocale& locale)
{
    return count == 1 ? QStringLiteral("1 entry")
                      : QStringLiteral("%1 entries").arg(locale.toString(static_cast<qlonglong>(count)));
}

QString duration(std::chrono::steady_clock::duration elapsed, const QLocale& locale)
{
    const double seconds = std::chrono::duration<double>(elapsed).count();
    if (seconds < 60)
        return locale.toString(seconds, 'f', 1) + QStringLiteral(" s");
    const auto whole = static_cast<long long>(seconds);
    return QStringLiteral("%1 min %2 s").arg(locale.toString(whole / 60), QString::number(whole % 60));
}

// A catalogue's name as the status bar shows it; the empty name is one too.
QString nameShown(const QString& name)
{
    return name.isEmpty() ? QStringLiteral("\"\"") : name;
}

} // namespace

StatusReport::StatusReport(Form1& form)
    : QObject(&form)
    , form_(form)
    , label_(new QLabel)
    , open_(new QPushButton(QStringLiteral("Open a catalogue")))
    , menu_(new QMenu(open_))
    , undo_(nullptr)
{
    label_->setObjectName(QStringLiteral("StatusText"));
    label_->setTextFormat(Qt::PlainText);
    label_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // A long text is cut off rather than widening the window; the tooltip has all of it.
    label_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    open_->setObjectName(QStringLiteral("OpenCatalogue"));
    open_->setMenu(menu_);
    open_->hide();
    // Choosing a catalogue opens it the way the window does: its name in the
    // name box, then "Open Database".
    connect(menu_, &QMenu::triggered, this, [this](QAction* chosen) {
        form_.Text8->setText(chosen->data().toString());
        form_.Command5_Click();
    });
    form.statusBar()->addWidget(label_, 1);
    form.statusBar()->addWidget(open_);
    undo_ = new UndoOffer(form);
}

QString StatusReport::text() const
{
    return label_->text();
}

void StatusReport::tell(const QString& text)
{
    show(text);
    open_->hide();
}

void StatusReport::show(const QString& text)
{
    label_->setText(text);
    label_->setToolTip(text);
}

void StatusReport::offer(const QStringList& names)
{
    menu_->clear();
    for (const QString& name : names)
        menu_->addAction(nameShown(name))->setData(name);
    open_->setVisible(!names.isEmpty());
}

void StatusReport::treeLoaded()
{
    if (form_.TreeView1->Nodes().Count() != 1) {
        tell({});
        return;
    }
    // Only an empty tree pays for counting records.
    const QString shown = form_.shownDatabaseName();
    QStringList names;
    QStringList named;
    try {
        auto db = form_.Adodc1->connection();
        // Records the tree could not place are told by a message of their own.
        if (!db || catalogueRecordCount(*db, shown) > 0)
            return tell({});
        names = catalogueNames(*db);
        names.removeAll(shown);
        const QLocale locale = figureLocale();
        for (const QString& name : names.mid(0, kCataloguesNamed))
            named << QStringLiteral("%1 (%2)").arg(
                nameShown(name), entries(catalogueRecordCount(*db, name), locale));
    } catch (const std::exception& e) {
        return tell(QString::fromUtf8(e.what()));
    }
    if (names.isEmpty()) {
        tell(QStringLiteral("No catalogue yet: open a folder in the folder list, type a name into the "
                            "\"Database Name\" box, press \"Add new database\", then \"Add Folder\" and "
                            "\"Save to database\"."));
        return;
    }
    if (names.size() > kCataloguesNamed)
        named << QStringLiteral("and %1 more").arg(names.size() - kCataloguesNamed);
    const QString where = shown.isEmpty() ? QStringLiteral("No catalogue is chosen.")
                                          : QStringLiteral("No records under \"%1\".").arg(shown);
    show(where + QStringLiteral(" Catalogues in this database: ") + named.join(QStringLiteral(", ")));
    offer(names);
}

void StatusReport::scanEnded(const FolderScan& scan, std::chrono::steady_clock::duration elapsed)
{
    const QLocale locale = figureLocale();
    const QString name = form_.currentDatabaseName();
    // What the table holds of the run, which a failed commit may have made
    // fewer than the records written.
    std::int64_t kept = 0;
    try {
        kept = scan.recordsKept();
    } catch (const std::exception&) {
        kept = scan.recordsWritten();
    }
    QString text = QStringLiteral("Added %1 to \"%2\", %3, in %4")
                       .arg(entries(kept, locale), name,
                           readableSize(scan.lastTotal(), locale), duration(elapsed, locale));
    if (const std::int64_t skipped = scan.skippedCount())
        text += QStringLiteral("; %1 could not be read").arg(entries(skipped, locale));
    if (scan.cancelled())
        text += QStringLiteral("; the scan was cancelled");
    else if (!scan.failure().isEmpty())
        text += QStringLiteral("; the scan stopped early");
    // A newcomer's catalogue is lost from sight at the next start unless its name is saved.
    if (NameFile::read().name != name)
        text += QStringLiteral(". Press \"Save to database\" to see \"%1\" at the next start").arg(name);
    text += u'.';
    // Scanning a folder again is allowed; the user hears of the other way.
    if (const auto db = form_.Adodc1->connection(); db && !scan.topKey().isEmpty()) {
        try {
            if (const auto earlier = earlierScanOfSameFolder(*db, name, scan.topKey()))
                text += u' ' + alreadyCataloguedHint(*earlier);
        } catch (const std::exception&) {
            // Only a hint: the scan's own result is told either way.
        }
    }
    tell(text);
}

void StatusReport::folderDeleting(const QString& folder, const QString& catalogue)
{
    tell(QStringLiteral("Deleting %1 from \"%2\"...").arg(folder, catalogue));
}

void StatusReport::folderNotDeleted(const QString& folder)
{
    tell(QStringLiteral("%1 was not deleted.").arg(folder));
}

void StatusReport::folderDeleted(const QString& folder, const QString& catalogue, std::int64_t records)
{
    tell(QStringLiteral("Deleted %1 of \"%2\" from \"%3\".")
             .arg(entries(records, figureLocale()), folder, catalogue));
}

void StatusReport::folderUpdated(const QString& folder, const QString& catalogue, const QString& summary)
{
    tell(QStringLiteral("Updated %1 in \"%2\": %3.").arg(folder, catalogue, summary));
}

void StatusReport::catalogueDeleted(const QString& catalogue, std::int64_t records)
{
    tell(QStringLiteral("Deleted the catalogue \"") + catalogue + QStringLiteral("\", ")
        + entries(records, figureLocale()) + QStringLiteral(". \"Undo\" brings it back."));
}

void StatusReport::catalogueRenamed(const QString& from, const QString& to, std::int64_t records)
{
    tell(QStringLiteral("Renamed the catalogue \"") + from + QStringLiteral("\" to \"") + to + QStringLiteral("\": ")
        + entries(records, figureLocale()) + u'.');
}

void StatusReport::undone(const QString& what, std::int64_t records)
{
    tell(QStringLiteral("Undone: ") + entries(records, figureLocale()) + QStringLiteral(" of ") + what
        + QStringLiteral(" brought back."));
}

} // namespace qm
