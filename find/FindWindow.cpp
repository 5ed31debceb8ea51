// SPDX-License-Identifier: GPL-3.0-or-later
#include "find/FindWindow.h"

#include "platform/AppPaths.h"
#include "find/FindWorker.h"
#include "find/ThumbnailPreview.h"
#include "main_window/Form1.h"
#include "platform/Clipboard.h"
#include "platform/Csv.h"
#include "platform/MessageBox.h"
#include "platform/Recordset.h"
#include "platform/WindowFront.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace qm::find {
namespace {

QPointer<FindWindow> openWindow;

// Typing that pauses this long runs the query.
constexpr int kDebounceMilliseconds = 150;

} // namespace

void FindResults::replace(const std::vector<Hit>& hits)
{
    beginResetModel();
    hits_ = hits;
    endResetModel();
}

void FindResults::append(const std::vector<Hit>& hits)
{
    if (hits.empty())
        return;
    const int first = static_cast<int>(hits_.size());
    beginInsertRows({}, first, first + static_cast<int>(hits.size()) - 1);
    hits_.insert(hits_.end(), hits.begin(), hits.end());
    endInsertRows();
}

QStringList FindResults::headers()
{
    return {QStringLiteral("Name"), QStringLiteral("Path"), QStringLiteral("Size"), QStringLiteral("Date"),
        QStringLiteral("Catalogue"), QStringLiteral("Disk"), QStringLiteral("Volume"), QStringLiteral("Modified")};
}

QStringList FindResults::cells(int row) const
{
    const Hit& h = hit(row);
    return {h.name, h.path, h.size, h.date, h.catalogue, h.disk, h.volume, h.modified};
}

int FindResults::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(hits_.size());
}

int FindResults::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant FindResults::data(const QModelIndex& index, int role) const
{
    if (!index.isValid())
        return {};
    if (role == Qt::ToolTipRole && (index.column() == Disk || index.column() == Volume)
        && !hit(index.row()).diskDetails.isEmpty())
        return hit(index.row()).diskDetails;
    // A photo's camera and date taken, a song's artist and album, a length.
    if (role == Qt::ToolTipRole && (index.column() == Name || index.column() == Path)
        && !hit(index.row()).media.isEmpty())
        return cells(index.row()).at(index.column()) + u'\n' + hit(index.row()).media;
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
        return cells(index.row()).at(index.column());
    if (role == Qt::TextAlignmentRole && index.column() == Size)
        return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
    return {};
}

QVariant FindResults::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole)
        return headers().value(section);
    return QAbstractTableModel::headerData(section, orientation, role);
}

FindWindow::FindWindow(Form1* form, QWidget* parent)
    : QWidget(parent)
    , form_(form)
    , newest_(std::make_shared<std::atomic<quint64>>(0))
{
    setObjectName(QStringLiteral("FindWindow"));
    setWindowTitle(QStringLiteral("Find"));
    buildControls();

    worker_ = new FindWorker(databasePath(), newest_);
    worker_->moveToThread(&thread_);
    // The worker and its connection end on their own thread.
    connect(&thread_, &QThread::finished, worker_, &QObject::deleteLater);
    connect(worker_, &FindWorker::rows, this, &FindWindow::rowsFound);
    connect(worker_, &FindWorker::done, this, &FindWindow::searchDone);
    connect(worker_, &FindWorker::failed, this, &FindWindow::searchFailed);
    connect(worker_, &FindWorker::cataloguesRead, this, &FindWindow::cataloguesRead);
    connect(worker_, &FindWorker::reading, this,
        [this] { statusLabel->setText(QStringLiteral("Reading the catalogues…")); });
    connect(worker_, &FindWorker::indexing, this, [this](qint64 done, qint64 total) {
        statusLabel->setText(QStringLiteral("Indexing the catalogues… %1%").arg(total > 0 ? done * 100 / total : 0));
    });
    // Said where the status shows, and kept in its tip after the next result.
    connect(worker_, &FindWorker::notice, this, [this](const QString& text) {
        statusLabel->setText(text);
        statusLabel->setToolTip(text);
    });
    thread_.start();
    QMetaObject::invokeMethod(worker_, &FindWorker::prime, Qt::QueuedConnection);
}

FindWindow::~FindWindow()
{
    stopWorker();
}

FindWindow* FindWindow::current()
{
    return openWindow.data();
}

FindWindow* FindWindow::showWindow(Form1* form)
{
    if (openWindow) {
        bringToFront(openWindow);
        return openWindow;
    }
    auto* window = new FindWindow(form);
    window->setAttribute(Qt::WA_DeleteOnClose);
    openWindow = window;
    window->show();
    window->queryBox->setFocus();
    return window;
}

void FindWindow::buildControls()
{
    queryBox = new QLineEdit(this);
    queryBox->setObjectName(QStringLiteral("queryBox"));
    queryBox->setPlaceholderText(QStringLiteral("Find files and folders on every catalogued disk"));
    matchCase = new QCheckBox(QStringLiteral("Match &case"), this);
    matchCase->setObjectName(QStringLiteral("matchCase"));
    catalogueBox = new QComboBox(this);
    catalogueBox->setObjectName(QStringLiteral("catalogueBox"));
    catalogueBox->addItem(QStringLiteral("All catalogues"));
    problemLabel = new QLabel(this);
    problemLabel->setObjectName(QStringLiteral("problemLabel"));
    problemLabel->setStyleSheet(QStringLiteral("color: #b00020;"));
    problemLabel->setWordWrap(true);
    hintLabel = new QLabel(syntaxHint(), this);
    hintLabel->setObjectName(QStringLiteral("hintLabel"));
    hintLabel->setWordWrap(true);
    hintLabel->setEnabled(false);

    resultView = new QTableView(this);
    resultView->setObjectName(QStringLiteral("resultView"));
    resultView->setModel(&results_);
    resultView->setSelectionBehavior(QAbstractItemView::SelectRows);
    resultView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    resultView->setWordWrap(false);
    resultView->verticalHeader()->hide();
    resultView->verticalHeader()->setDefaultSectionSize(resultView->fontMetrics().height() + 6);
    resultView->horizontalHeader()->setStretchLastSection(true);
    const int widths[] = {200, 360, 80, 130, 110};
    for (int c = 0; c < 5; ++c)
        resultView->setColumnWidth(c, widths[c]);

    statusLabel = new QLabel(this);
    statusLabel->setObjectName(QStringLiteral("statusLabel"));
    copyButton = new QPushButton(QStringLiteral("C&opy"), this);
    copyButton->setObjectName(QStringLiteral("copyButton"));
    exportButton = new QPushButton(QStringLiteral("&Export CSV..."), this);
    exportButton->setObjectName(QStringLiteral("exportButton"));

    auto* top = new QHBoxLayout;
    top->addWidget(queryBox, 1);
    top->addWidget(matchCase);
    top->addWidget(catalogueBox);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(statusLabel, 1);
    bottom->addWidget(copyButton);
    bottom->addWidget(exportButton);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(problemLabel);
    layout->addWidget(hintLabel);
    preview = new ThumbnailPreview(databasePath(), this);
    auto* middle = new QHBoxLayout;
    middle->addWidget(resultView, 1);
    middle->addWidget(preview);
    layout->addLayout(middle, 1);
    layout->addLayout(bottom);
    resize(1000, 560);

    debounce_ = new QTimer(this);
    debounce_->setSingleShot(true);
    debounce_->setInterval(kDebounceMilliseconds);
    connect(debounce_, &QTimer::timeout, this, &FindWindow::runQuery);
    connect(queryBox, &QLineEdit::textEdited, this, &FindWindow::queryEdited);
    connect(queryBox, &QLineEdit::returnPressed, this, &FindWindow::runQuery);
    connect(matchCase, &QCheckBox::toggled, this, &FindWindow::runQuery);
    connect(catalogueBox, &QComboBox::currentIndexChanged, this, &FindWindow::runQuery);
    connect(resultView->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
        [this](const QModelIndex& current) {
            if (current.isValid() && current.row() < results_.rowCount())
                preview->showRecord(results_.hit(current.row()).srNo, results_.hit(current.row()).name);
            else
                preview->clearPreview();
        });
    connect(&results_, &QAbstractItemModel::modelReset, preview, &ThumbnailPreview::clearPreview);
    connect(resultView, &QTableView::activated, this, [this](const QModelIndex& i) { showResult(i.row()); });
    connect(copyButton, &QPushButton::clicked, this, &FindWindow::copyRows);
    connect(exportButton, &QPushButton::clicked, this, [this] {
        const QString path = QFileDialog::getSaveFileName(
            this, QStringLiteral("Export CSV"), QStringLiteral("found.csv"), QStringLiteral("CSV (*.csv)"));
        if (!path.isEmpty())
            guarded(this, [&] { exportCsv(path); });
    });
}

void FindWindow::queryEdited()
{
    // A mistake shows at once; a query runs when the typing pauses.
    const ParsedQuery parsed = parseQuery(queryBox->text(), matchCase->isChecked());
    problemLabel->setText(parsed.error);
    if (!parsed.error.isEmpty())
        clearResults();
    debounce_->start();
}

void FindWindow::clearResults()
{
    // Rows a search still sends are of a query no longer in the box.
    ++*newest_;
    results_.replace({});
    statusLabel->clear();
}

void FindWindow::runQuery()
{
    debounce_->stop();
    ParsedQuery parsed = parseQuery(queryBox->text(), matchCase->isChecked());
    problemLabel->setText(parsed.error);
    if (!parsed.error.isEmpty()) {
        // The rows of the last query would stand under the message as if this one had found them.
        clearResults();
        return;
    }
    const quint64 ticket = ++*newest_;
    Query& query = parsed.query;
    if (!query.catalogue && catalogueBox->currentIndex() > 0)
        query.catalogue = catalogueBox->currentText();
    if (query.empty()) {
        results_.replace({});
        statusLabel->clear();
        return;
    }
    statusLabel->setText(QStringLiteral("Searching…"));
    FindWorker* worker = worker_;
    QMetaObject::invokeMethod(
        worker_, [worker, ticket, query] { worker->search(ticket, query); }, Qt::QueuedConnection);
}

void FindWindow::rowsFound(quint64 ticket, bool first, const std::vector<Hit>& hits)
{
    if (ticket != newest_->load())
        return;
    if (first)
        results_.replace(hits);
    else
        results_.append(hits);
    statusLabel->setText(QStringLiteral("%1 found so far…").arg(results_.rowCount()));
}

void FindWindow::searchDone(quint64 ticket, qint64 total)
{
    if (ticket != newest_->load())
        return;
    const int shown = results_.rowCount();
    statusLabel->setText(total > shown ? QStringLiteral("%1 found; the first %2 are listed.")
                                             .arg(QString::number(total), QString::number(shown))
                                       : QStringLiteral("%1 found.").arg(total));
}

void FindWindow::searchFailed(quint64 ticket, const QString& message)
{
    if (ticket != newest_->load())
        return;
    statusLabel->setText(QStringLiteral("The catalogues cannot be searched: %1").arg(message));
}

void FindWindow::cataloguesRead(const QStringList& names)
{
    const QString chosen = catalogueBox->currentIndex() > 0 ? catalogueBox->currentText() : QString();
    const QSignalBlocker quiet(catalogueBox);
    while (catalogueBox->count() > 1)
        catalogueBox->removeItem(1);
    catalogueBox->addItems(names);
    if (!chosen.isEmpty()) {
        // A catalogue deleted meanwhile stays chosen until the user picks another.
        if (catalogueBox->findText(chosen) < 0)
            catalogueBox->addItem(chosen);
        catalogueBox->setCurrentText(chosen);
    }
}

void FindWindow::showResult(int row)
{
    if (row < 0 || row >= results_.rowCount())
        return;
    const Hit& hit = results_.hit(row);
    if (!form_) {
        MsgBox(QStringLiteral("The main window is closed, so %1 cannot be shown in the tree.").arg(hit.path), this);
        return;
    }
    if (!form_->showRecord(hit.catalogue, hit.key, hit.srNo))
        MsgBox(QStringLiteral("%1 is no longer in the catalogue \"%2\".").arg(hit.path, hit.catalogue), this);
}

void FindWindow::copyRows()
{
    QList<int> rows;
    for (const QModelIndex& index : resultView->selectionModel()->selectedRows())
        rows << index.row();
    std::sort(rows.begin(), rows.end());
    if (rows.isEmpty())
        for (int r = 0; r < results_.rowCount(); ++r)
            rows << r;
    QStringList lines {FindResults::headers().join(u'\t')};
    for (const int r : rows)
        lines << results_.cells(r).join(u'\t');
    clipboard().SetText(lines.join(u'\n') + u'\n');
}

void FindWindow::exportCsv(const QString& path) const
{
    QSaveFile out(path);
    auto failed = [&] {
        return DbError(QStringLiteral("Cannot write %1: %2").arg(path, out.errorString()).toStdString());
    };
    if (!out.open(QIODevice::WriteOnly))
        throw failed();
    out.write(csvLine(FindResults::headers()).toUtf8());
    for (int r = 0; r < results_.rowCount(); ++r)
        out.write(csvLine(results_.cells(r)).toUtf8());
    if (!out.commit())
        throw failed();
}

void FindWindow::closeEvent(QCloseEvent* event)
{
    stopWorker();
    event->accept();
}

void FindWindow::stopWorker()
{
    if (!thread_.isRunning())
        return;
    newest_->store(0);
    thread_.quit();
    thread_.wait();
}

} // namespace qm::find
