// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Find window: one query box over every catalogue, results as the user
// types. A single instance, modeless and without an owner, like the other
// secondary windows. The search runs on a worker thread with its own
// connection; the window only shows what the newest query found.
#include "find/SearchIndex.h"

#include <QAbstractTableModel>
#include <QPointer>
#include <QThread>
#include <QWidget>

#include <atomic>
#include <memory>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;
class QTimer;

namespace qm {

class Form1;

namespace find {

class FindWorker;
class ThumbnailPreview;

// The rows found: name, path, size, date, catalogue, disk.
class FindResults : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { Name, Path, Size, Date, Catalogue, Disk, Volume, Modified, ColumnCount };

    using QAbstractTableModel::QAbstractTableModel;
    void replace(const std::vector<Hit>& hits);
    void append(const std::vector<Hit>& hits);
    const Hit& hit(int row) const { return hits_[static_cast<size_t>(row)]; }
    // A row's cells as shown.
    QStringList cells(int row) const;
    static QStringList headers();

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    std::vector<Hit> hits_;
};

class FindWindow : public QWidget {
    Q_OBJECT
public:
    // Jumps go to `form` while it is open.
    explicit FindWindow(Form1* form, QWidget* parent = nullptr);
    ~FindWindow() override;

    // The open window, or nullptr.
    static FindWindow* current();
    // Brings the open window forward, or creates and shows a new one.
    static FindWindow* showWindow(Form1* form);

    QLineEdit* queryBox = nullptr;
    QLabel* problemLabel = nullptr; // what is wrong with the query
    QLabel* hintLabel = nullptr;
    QCheckBox* matchCase = nullptr;
    QComboBox* catalogueBox = nullptr; // "All catalogues" or one
    QTableView* resultView = nullptr;
    ThumbnailPreview* preview = nullptr; // the current hit's thumbnail, beside the results
    QLabel* statusLabel = nullptr;
    QPushButton* copyButton = nullptr;
    QPushButton* exportButton = nullptr;

    FindResults& results() { return results_; }

    // Runs the query in the box now, without waiting for the typing to pause.
    void runQuery();
    // Opens the record of a row in the main window.
    void showResult(int row);
    // The selected rows, or every row when none is selected, as
    // tab-separated lines with a header, onto the clipboard.
    void copyRows();
    // Every row as CSV; throws DbError when the file cannot be written.
    void exportCsv(const QString& path) const;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void buildControls();
    void queryEdited();
    // No rows, no count: what is shown is of no query in the box.
    void clearResults();
    void rowsFound(quint64 ticket, bool first, const std::vector<Hit>& hits);
    void searchDone(quint64 ticket, qint64 total);
    void searchFailed(quint64 ticket, const QString& message);
    void cataloguesRead(const QStringList& names);
    void stopWorker();

    QPointer<Form1> form_;
    FindResults results_;
    QTimer* debounce_ = nullptr;
    QThread thread_;
    FindWorker* worker_ = nullptr;
    std::shared_ptr<std::atomic<quint64>> newest_;
};

} // namespace find
} // namespace qm
