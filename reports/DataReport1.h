// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The report of table temp: a heading line on every page and one line per
// row, shown in a preview window that prints and exports to PDF.
#include "reports/DataEnvironment1.h"

#include <QFont>
#include <QWidget>

#include <memory>
#include <vector>

class QPagedPaintDevice;
class QPrintPreviewWidget;
class QPrinter;
class QPushButton;

namespace qm {

// Arial 8.25 points, regular.
QFont reportFont();

// The heading texts, left to right.
const QStringList& reportHeadings();

// Lays the report out on the pages of `device`: the heading line at the top
// of every page, then one line per row in the given order; values too wide
// for their column are cut short with an ellipsis. Returns the number of
// pages. Throws DbError when the device cannot be painted on.
int paintReport(QPagedPaintDevice& device, const std::vector<ReportRow>& rows);

// Writes the report to a PDF file. Throws DbError.
void writeReportPdf(const QString& filePath, const std::vector<ReportRow>& rows);

class DataReport1 : public QWidget {
    Q_OBJECT
public:
    explicit DataReport1(std::vector<ReportRow> rows, QWidget* parent = nullptr);
    ~DataReport1() override;

    // The open report window, or nullptr when none is open.
    static DataReport1* current();
    // Brings the open report forward, or reads temp and shows a new one.
    // nullptr when temp cannot be read; the message names the problem.
    static DataReport1* showReport(QWidget* messageParent = nullptr);

    const std::vector<ReportRow>& rows() const { return rows_; }
    // Reads temp again and redraws the preview; false (after a message) on failure.
    bool reload();
    // Throws DbError.
    void exportPdf(const QString& filePath) const { writeReportPdf(filePath, rows_); }

    QPrintPreviewWidget* preview = nullptr;
    QPushButton* cmdPrint = nullptr;
    QPushButton* cmdExport = nullptr;
    QPushButton* cmdZoomIn = nullptr;
    QPushButton* cmdZoomOut = nullptr;
    QPushButton* cmdClose = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void printReport();
    void exportClicked();

    std::vector<ReportRow> rows_;
    std::unique_ptr<QPrinter> printer_;
};

} // namespace qm
