// SPDX-License-Identifier: GPL-3.0-or-later
// "Update Folder": a scan brought up to date in place.
#include "main_window/Form1.h"

#include "catalog/NodeKeys.h"
#include "catalog/update/ScanUpdate.h"
#include "main_window/ReadOptions.h"
#include "main_window/StatusReport.h"
#include "main_window/UndoOffer.h"
#include "main_window/WorkProgress.h"
#include "platform/DataControl.h"
#include "platform/MessageBox.h"
#include "platform/TreeView.h"


#include <memory>

namespace qm {
namespace {

// The update's progress, told by the scan's listener interface.
class UpdateProgress : public ScanListener {
public:
    explicit UpdateProgress(QWidget& window)
        : progress_(window, QStringLiteral("Updating, entries so far"))
    {
    }
    void entryStored(const ScannedEntry&) override { }
    bool progress(std::int64_t entries, const QString& folder) override { return progress_.report(entries, folder); }
    bool contentProgress(std::int64_t entries, const QString& folder, const ContentProgress& read) override
    {
        return progress_.report(entries, folder, QStringLiteral("Contents: ") + read.text());
    }

private:
    WorkProgress progress_;
};

bool updating = false;

// An update that looks like a slip (the disk is not there, most records
// would go) is asked about in plain words; pressing Enter keeps everything.
bool confirmRiskyUpdate(const UpdateRisk& risk, QWidget* window)
{
    return Ask(riskText(risk) + QStringLiteral("\n\nUpdate the catalogue anyway?"), window, DefaultAnswer::No);
}

} // namespace

void Form1::UpdateFolder_Click()
{
    if (updating)
        return;
    const Node* node = TreeView1->SelectedItem();
    if (!node || !node->Parent) {
        MsgBox(QStringLiteral("Select a top-level folder of the tree (or anything inside it) to update it "
                              "from the disk."),
            this);
        return;
    }
    // Anything inside a scan updates the whole scan: its top-level folder.
    while (node->Parent->Parent)
        node = node->Parent;
    const QString catalogue = TreeView1->Nodes().catalogueOf(node);
    const QString rootText = node->Parent->Text;
    const QString key = node->Key;
    const QString shown = shownDatabaseName();

    auto db = Adodc1->connection();
    if (!db) {
        MsgBox(QStringLiteral("The catalogue database is not open."), this);
        return;
    }
    std::optional<TopFolder> top;
    if (!guarded(this, [&] { top = findTopFolder(*db, catalogue, key); }))
        return;
    if (!top) {
        MsgBox(QStringLiteral("The catalogue \"%1\" holds no records of %2 any more; another window or program "
                              "deleted them. The tree is built again.")
                   .arg(catalogue, node->Text),
            this);
        rebuildTree(rootText, shown);
        return;
    }
    // Kept for "Undo" until the next change.
    status().undo().beforeUpdate(*db, catalogue, key, top->fileName);
    updating = true;
    bool done = false;
    QString message;
    QString summary;
    {
        UpdateProgress progress(*this);
        ScanUpdate update(*db, catalogue, *top, &progress);
        // What the last scans read, the update keeps up to date.
        update.setFingerprints(fingerprintContents());
        update.setArchives(readOptions().archives());
        update.setThumbnails(readOptions().thumbnails());
        update.setMedia(readOptions().media());
        bool declined = false;
        update.setConfirm([this, &declined](const UpdateRisk& risk) {
            declined = !confirmRiskyUpdate(risk, this);
            return !declined;
        });
        done = update.run();
        const QString skipped = skippedReport(update.skippedCount(), update.firstSkipped());
        if (update.cancelled())
            message = QStringLiteral("The update was cancelled; the catalogue keeps %1 as it was.").arg(top->fileName);
        else if (declined)
            message.clear(); // the user's own answer: nothing more to tell
        else if (!done)
            message = QStringLiteral("The folder was not updated: %1").arg(update.failure());
        else {
            summary = updateSummary(update.counts());
            message = QStringLiteral("Updated %1 in \"%2\": %3.").arg(top->fileName, catalogue, summary);
        }
        if (!skipped.isEmpty() && !declined)
            message += QStringLiteral("\n\n") + skipped;
        if (const QString listing = archiveReport(update.archiveStage()); !listing.isEmpty() && !declined)
            message += QStringLiteral("\n\n") + listing;
        if (const ThumbnailStage* stage = update.thumbnailStage(); stage && !declined)
            if (const QString pictures = thumbnailReport(*stage); !pictures.isEmpty())
                message += QStringLiteral("\n\n") + pictures;
    }
    updating = false;
    status().undo().afterUpdate(*db, done);
    if (done) {
        rebuildTree(rootText, shown);
        // The folder stays where the user was.
        if (Node* again = nodeOfRecord(catalogue, key)) {
            TreeView1->setSelectedItem(again);
            TreeView1_NodeClick(again);
        }
        status().folderUpdated(top->fileName, catalogue, summary);
    }
    if (!message.isEmpty())
        MsgBox(message, this);
}

} // namespace qm
