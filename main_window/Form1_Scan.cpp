// SPDX-License-Identifier: GPL-3.0-or-later
// "Add Folder": the folder scan.
#include "main_window/Form1.h"

#include "catalog/FolderScan.h"
#include "catalog/NodeKeys.h"
#include "platform/Numbers.h"
#include "main_window/StatusReport.h"
#include "main_window/ReadOptions.h"
#include "main_window/UndoOffer.h"
#include "main_window/WorkProgress.h"
#include "platform/DataControl.h"
#include "platform/FolderLists.h"
#include "platform/MessageBox.h"
#include "platform/TreeView.h"

#include <QCoreApplication>

#include <SQLiteCpp/Database.h>

#include <memory>

namespace qm {
namespace {

// Adds a node for every stored record below a branch the tree has fetched,
// and keeps the progress dialog. Elsewhere the records wait in the store
// until their branch is opened, so the tree grows with what the user opened,
// not with the scan; their keys still count towards the next node key.
class TreeFiller : public ScanListener {
public:
    explicit TreeFiller(Form1& form)
        : form_(form)
        , nodes_(form.TreeView1->Nodes())
    {
    }

    void entryStored(const ScannedEntry& e) override
    {
        nodes_.noteKey(e.key);
        // Entries come folder by folder: look the parent up once per folder.
        if (!parent_ || parent_->Key != e.parentKey) {
            parent_ = nodes_.find(e.parentKey);
            if (!parent_ && !nodes_.source())
                throw TreeError("Element not found: no node has the key '" + e.parentKey.toStdString() + "'");
            // A folder without nodes below it yet (the scan's new top-level
            // folder) gets its branch from the store when it is opened.
            if (parent_ && parent_->Parent && parent_->Children.empty() && nodes_.source())
                parent_->unfetched = true;
        }
        if (!parent_ || parent_->unfetched)
            return;
        const QString name = QString::fromUtf8(e.name.data(), static_cast<qsizetype>(e.name.size()));
        if (e.folder)
            nodes_.AddChild(parent_, keyOf(e.key), name, 1, 3);
        else
            nodes_.AddChild(parent_, keyOf(e.key), name, 2, 0);
    }

    bool progress(std::int64_t entries, const QString& folder) override
    {
        return progress_.report(entries, folder);
    }

    bool contentProgress(std::int64_t entries, const QString& folder, const ContentProgress& read) override
    {
        return progress_.report(entries, folder, QStringLiteral("Contents: ") + read.text());
    }

private:
    Form1& form_;
    NodeModel& nodes_;
    Node* parent_ = nullptr;
    // The hourglass for the whole run, the dialog once it takes a while.
    WorkProgress progress_ {form_, QStringLiteral("Entries so far")};
};

// One run on the main window: the hourglass, the tree in one batch, and at
// the end the refreshed record buffer and one message for what went wrong.
// RecurseFiles2 finds the run its caller began here.
class ScanRun {
public:
    static ScanRun* active;

    ScanRun(Form1& form, std::int64_t floorKey)
        : form_(form)
        , filler_(form)
        , tree_(*form.TreeView1)
        , nodes_(tree_.Nodes())
    {
        auto db = form.Adodc1->connection();
        if (!db)
            throw DbError("The catalogue database is not open.");
        scan_ = std::make_unique<FolderScan>(*db, form.currentDatabaseName(), floorKey, &filler_);
        scan_->setArchives(form.readOptions().archives());
        scan_->setThumbnails(form.readOptions().thumbnails());
        scan_->setMedia(form.readOptions().media());
        scan_->setFingerprints(form.fingerprintContents());
        // The batch resets the view once at the end; the branches the user
        // opened and the selection come back afterwards.
        selected_ = tree_.SelectedItem();
        for (std::int64_t i = 1; i <= nodes_.Count(); ++i) {
            Node* n = nodes_.Item(i);
            if (!n->Children.empty() && tree_.isExpanded(n))
                n->expanded = true;
        }
        tree_.setUpdatesEnabled(false);
        nodes_.beginBatch();
        active = this;
    }

    ~ScanRun()
    {
        active = nullptr;
        scan_.reset();
        nodes_.endBatch();
        tree_.setUpdatesEnabled(true);
        if (selected_)
            tree_.setSelectedItem(selected_);
    }

    ScanRun(const ScanRun&) = delete;
    ScanRun& operator=(const ScanRun&) = delete;

    Form1& form() { return form_; }
    FolderScan& scan() { return *scan_; }

    // Stores what is pending and shows the last stored record in the bound
    // boxes. Returns what to tell of entries left out or a failure; the
    // caller tells it once the window is back to normal.
    QString end()
    {
        scan_->finish();
        QString failure = scan_->failure();
        try {
            form_.Adodc1->Refresh();
            Recordset& rs = form_.Adodc1->recordset();
            if (rs.RecordCount() > 0)
                rs.MoveLast();
        } catch (const std::exception& e) {
            if (failure.isEmpty())
                failure = QString::fromUtf8(e.what());
        }
        QStringList parts;
        if (!failure.isEmpty())
            parts << QStringLiteral("The scan stopped: %1\n%2 of this folder are kept in the catalogue "
                                    "\"%3\".")
                         .arg(failure, keptText(*scan_), form_.currentDatabaseName());
        const QString skipped = skippedReport(*scan_);
        if (!skipped.isEmpty())
            parts << skipped;
        const QString archives = archiveReport(*scan_);
        if (!archives.isEmpty())
            parts << archives;
        const QString thumbnails = thumbnailReport(*scan_);
        if (!thumbnails.isEmpty())
            parts << thumbnails;
        return parts.join(QStringLiteral("\n\n"));
    }

    // Ends the run and tells what `end` found.
    static void close(std::unique_ptr<ScanRun>& run, Form1& form)
    {
        const QString message = run->end();
        form.status().scanEnded(run->scan(), std::chrono::steady_clock::now() - run->started_);
        run.reset();
        if (!message.isEmpty())
            MsgBox(message, &form);
    }

private:
    Form1& form_;
    TreeFiller filler_;
    TreeView& tree_;
    NodeModel& nodes_;
    std::unique_ptr<FolderScan> scan_;
    Node* selected_ = nullptr;
    std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
};

ScanRun* ScanRun::active = nullptr;

std::int64_t keyNumber(const QString& key)
{
    return roundToInt64(numericValue(key)).value_or(0);
}

} // namespace

void Form1::Command2_Click()
{
    // Events pass while a scan reads; a second one waits for the first.
    if (ScanRun::active)
        return;
    if (Dir1->Path().isEmpty()) {
        MsgBox(QStringLiteral("Open the folder to add in the folder list first."), this);
        return;
    }
    const StartFolder top = startFolderOf(Dir1->Path());
    NodeModel& nodes = TreeView1->Nodes();
    if (!nodes.find(kRootKey)) {
        MsgBox(QStringLiteral("The catalogue tree has no root node. Open the database again before "
                              "adding a folder."),
            this);
        return;
    }
    const QString key = NextNodeKey();
    if (nodes.find(key)) {
        MsgBox(QStringLiteral("No node key is left for a new folder in this catalogue."), this);
        return;
    }

    std::unique_ptr<ScanRun> run;
    try {
        run = std::make_unique<ScanRun>(*this, keyNumber(key));
    } catch (const std::exception& e) {
        MsgBox(QString::fromUtf8(e.what()), this);
        return;
    }
    FolderScan& scan = run->scan();
    const QString problem = scan.openStart(top.path);
    if (!problem.isEmpty()) {
        run.reset();
        MsgBox(problem, this);
        return;
    }
    // A change that is not undone: the last delete's copy goes.
    status().undo().withdraw();
    QString topKey;
    try {
        // NextNodeKey's key, unless the catalogue the scan writes to had
        // higher keys: it need not be the one the tree shows, and other
        // writers may have added to it.
        topKey = scan.newKey();
        scan.addTopFolder(top, topKey);
        const Node* topNode = nodes.Add(kRootKey, topKey, top.path, 1, 3);
        nodes.setBranchCatalogue(topNode, currentDatabaseName());
    } catch (const std::exception& e) {
        run.reset();
        MsgBox(QStringLiteral("The scan stopped: %1").arg(QString::fromUtf8(e.what())), this);
        return;
    }
    TreeView1->Expand(nodes.Item(1));
    RecurseFiles2(top.path, topKey, topKey);
    ScanRun::close(run, *this);
}

void Form1::RecurseFiles2(const QString& fPath, const QString& sParent, const QString& delkey)
{
    if (ScanRun::active && &ScanRun::active->form() == this) {
        ScanRun::active->scan().walk(fPath, sParent, delkey);
        return;
    }
    if (ScanRun::active)
        return;
    // Called on its own: a run of its own below an existing node.
    std::unique_ptr<ScanRun> run;
    try {
        run = std::make_unique<ScanRun>(*this, keyNumber(NextNodeKey()));
    } catch (const std::exception& e) {
        MsgBox(QString::fromUtf8(e.what()), this);
        return;
    }
    if (!TreeView1->Nodes().find(sParent)) {
        run.reset();
        MsgBox(QStringLiteral("No node of the tree has the key %1.").arg(sParent), this);
        return;
    }
    run->scan().walk(fPath, sParent, delkey);
    ScanRun::close(run, *this);
}

} // namespace qm
