// SPDX-License-Identifier: GPL-3.0-or-later
#include "main_window/VerifyWindow.h"

#include "catalog/store/ReadOnlyStore.h"
#include "main_window/CompareWindow.h"
#include "main_window/Form1.h"
#include "main_window/WorkProgress.h"
#include "platform/AppPaths.h"
#include "platform/MessageBox.h"
#include "platform/Numbers.h"
#include "platform/WindowFront.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <SQLiteCpp/Database.h>

namespace qm {
namespace {

QPointer<VerifyWindow> openWindow;
constexpr int kRowRole = Qt::UserRole;

// The check's progress: entries walked, and how far the reads got.
class VerifyProgress : public ScanListener {
public:
    explicit VerifyProgress(QWidget& window)
        : progress_(window, QStringLiteral("Verifying, entries so far"))
    {
    }
    void entryStored(const ScannedEntry&) override { }
    bool progress(std::int64_t entries, const QString& folder) override { return progress_.report(entries, folder); }
    bool contentProgress(std::int64_t entries, const QString& folder, const ContentProgress& read) override
    {
        return progress_.report(entries, folder, read.text());
    }

private:
    WorkProgress progress_;
};

} // namespace

VerifyWindow::VerifyWindow(Form1* form, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , form_(form)
{
    setObjectName(QStringLiteral("VerifyWindow"));
    setWindowTitle(QStringLiteral("Verify Folder - Quillmark"));
    resize(900, 520);

    auto* label = new QLabel(QStringLiteral("&Scan:"), this);
    scanBox = new QComboBox(this);
    scanBox->setObjectName(QStringLiteral("scanBox"));
    scanBox->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    label->setBuddy(scanBox);
    verifyButton = new QPushButton(QStringLiteral("&Verify"), this);
    verifyButton->setObjectName(QStringLiteral("verifyButton"));
    verifyButton->setToolTip(QStringLiteral("Read the folder on its disk again and compare it with the catalogue"));
    findingView = new QTreeWidget(this);
    findingView->setObjectName(QStringLiteral("findingView"));
    findingView->setRootIsDecorated(false);
    findingView->setUniformRowHeights(true);
    findingView->setHeaderLabels({QStringLiteral("Change"), QStringLiteral("Path"), QStringLiteral("Detail")});
    findingView->header()->setSectionResizeMode(1, QHeaderView::Stretch);
    statusLabel = new QLabel(this);
    statusLabel->setObjectName(QStringLiteral("statusLabel"));
    statusLabel->setWordWrap(true);

    auto* top = new QHBoxLayout;
    top->addWidget(label);
    top->addWidget(scanBox, 1);
    top->addWidget(verifyButton);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(findingView, 1);
    layout->addWidget(statusLabel);

    connect(verifyButton, &QPushButton::clicked, this, &VerifyWindow::verify);
    connect(findingView, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) { showEntry(item); });
}

VerifyWindow::~VerifyWindow() = default;

VerifyWindow* VerifyWindow::current()
{
    return openWindow;
}

VerifyWindow* VerifyWindow::showWindow(Form1* form)
{
    if (openWindow) {
        bringToFront(openWindow);
        return openWindow;
    }
    auto* window = new VerifyWindow(form);
    window->setAttribute(Qt::WA_DeleteOnClose);
    openWindow = window;
    window->show();
    window->refreshChoices();
    return window;
}

void VerifyWindow::refreshChoices()
{
    QString problem;
    const auto db = Store::openReadOnly(databasePath(), problem);
    if (!db) {
        MsgBox(problem, this);
        return;
    }
    fillScanChoices(scanBox, *db);
    statusLabel->setText(scanBox->count() == 0
            ? QStringLiteral("The catalogue holds no scan.")
            : QStringLiteral("Choose a scan whose disk is mounted where it was scanned, and press Verify."));
}

bool VerifyWindow::verify()
{
    if (running_)
        return false;
    QString problem;
    const auto db = Store::openReadOnly(databasePath(), problem);
    if (!db) {
        MsgBox(problem, this);
        return false;
    }
    std::optional<ScanRef> scan;
    if (!guarded(this, [&] { scan = chosenScan(scanBox, *db); }))
        return false;
    if (!scan) {
        MsgBox(QStringLiteral("Choose a scan that the catalogue holds; the list is read again."), this);
        refreshChoices();
        return false;
    }
    findingView->clear();
    findings_.clear();
    catalogue_ = scan->catalogue;
    running_ = true;
    verifyButton->setEnabled(false);
    bool done = false;
    VerifyCounts counts;
    QString failure;
    bool cancelled = false;
    {
        VerifyProgress progress(*this);
        ScanVerify check(*db, scan->catalogue, scan->top, &progress);
        done = check.run();
        findings_ = check.findings();
        counts = check.counts();
        failure = check.failure();
        cancelled = check.cancelled();
    }
    verifyButton->setEnabled(true);
    running_ = false;
    if (cancelled) {
        statusLabel->setText(QStringLiteral("Cancelled: the check is incomplete."));
        return false;
    }
    if (!done) {
        statusLabel->setText(QStringLiteral("The folder could not be verified."));
        MsgBox(failure, this);
        return false;
    }
    QList<QTreeWidgetItem*> items;
    for (size_t i = 0; i < findings_.size(); ++i) {
        const VerifyFinding& f = findings_[i];
        auto* item = new QTreeWidgetItem({verifyKindText(f.kind), f.path, f.detail});
        item->setData(0, kRowRole, static_cast<qulonglong>(i));
        items << item;
    }
    findingView->addTopLevelItems(items);
    QString text = (findings_.empty() ? QStringLiteral("Everything is as catalogued: ") : QString())
        + verifySummary(counts) + QStringLiteral("; ") + readableSize(static_cast<std::uint64_t>(counts.bytesRead))
        + QStringLiteral(" read.");
    if (counts.same > counts.sameByContent)
        text += QStringLiteral(" Files without a fingerprint were compared by size and modification time alone.");
    statusLabel->setText(text);
    return true;
}

bool VerifyWindow::showEntry(QTreeWidgetItem* item)
{
    if (!item)
        return false;
    const auto i = item->data(0, kRowRole).toULongLong();
    if (i >= findings_.size() || findings_[i].srNo == 0)
        return false; // new on the disk: no node to show
    const VerifyFinding& f = findings_[i];
    if (!form_) {
        MsgBox(QStringLiteral("The main window is closed."), this);
        return false;
    }
    if (form_->showRecord(catalogue_, f.key, f.srNo))
        return true;
    MsgBox(QStringLiteral("The catalogue \"") + catalogue_ + QStringLiteral("\" no longer holds ") + f.path
            + QStringLiteral("."),
        this);
    return false;
}

} // namespace qm
