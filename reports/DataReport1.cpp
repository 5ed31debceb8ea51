// SPDX-License-Identifier: GPL-3.0-or-later
#include "reports/DataReport1.h"

#include "platform/AppPaths.h"
#include "platform/MessageBox.h"
#include "platform/Recordset.h"
#include "platform/WindowFront.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QPageLayout>
#include <QPainter>
#include <QPointer>
#include <QPrintDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>

#include <algorithm>

namespace qm {
namespace {

QPointer<DataReport1> openWindow;

void preparePage(QPagedPaintDevice& device)
{
    // Landscape gives the date and size columns room for their whole texts.
    device.setPageSize(QPageSize(QPageSize::A4));
    device.setPageOrientation(QPageLayout::Landscape);
    device.setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
}

} // namespace

QFont reportFont()
{
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(8.25);
    font.setWeight(QFont::Normal);
    font.setItalic(false);
    return font;
}

const QStringList& reportHeadings()
{
    static const QStringList headings {QStringLiteral("SrNO:"), QStringLiteral("file_name:"),
        QStringLiteral("path:"), QStringLiteral("date:"), QStringLiteral("size:")};
    return headings;
}

int paintReport(QPagedPaintDevice& device, const std::vector<ReportRow>& rows)
{
    QPainter p;
    if (!p.begin(&device))
        throw DbError("The report could not be drawn: the page or file is not writable.");
    p.setFont(reportFont());
    const QFontMetricsF fm(p.font(), &device);
    const qreal line = fm.lineSpacing() * 1.3;
    const qreal width = device.width();
    const qreal height = device.height();
    const qreal gap = fm.averageCharWidth();

    // The path takes three shares of the width, every other column one.
    const qreal share = width / 7.0;
    struct Column {
        qreal left;
        qreal width;
    };
    const Column columns[5]
        = {{0, share}, {share, share}, {2 * share, 3 * share}, {5 * share, share}, {6 * share, share}};

    auto drawLine = [&](qreal top, const QStringList& cells) {
        for (int i = 0; i < 5; ++i) {
            const qreal room = std::max<qreal>(columns[i].width - gap, 1);
            QString cell = cells[i];
            cell.replace(u'\n', u' ').replace(u'\r', u' ');
            p.drawText(QRectF(columns[i].left, top, room, line),
                Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                fm.elidedText(cell, Qt::ElideRight, room));
        }
    };

    const qreal headingHeight = line * 1.5;
    const int perPage = std::max(1, static_cast<int>((height - headingHeight) / line));
    std::size_t next = 0;
    int pages = 0;
    do {
        if (pages > 0 && !device.newPage()) {
            p.end();
            throw DbError("The report could not be drawn: a new page could not be started.");
        }
        ++pages;
        drawLine(0, reportHeadings());
        p.save();
        p.setPen(QPen(Qt::black, 0));
        p.drawLine(QPointF(0, line * 1.15), QPointF(width, line * 1.15));
        p.restore();
        qreal top = headingHeight;
        for (int k = 0; k < perPage && next < rows.size(); ++k, ++next) {
            const ReportRow& r = rows[next];
            drawLine(top, {r.SrNO, r.file_name, r.path, r.date, r.size});
            top += line;
        }
    } while (next < rows.size());
    p.end();
    return pages;
}

void writeReportPdf(const QString& filePath, const std::vector<ReportRow>& rows)
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(filePath);
    printer.setDocName(QStringLiteral("DataReport1"));
    printer.setCreator(QString::fromLatin1(kApplicationTitle));
    preparePage(printer);
    paintReport(printer, rows);
}

DataReport1::DataReport1(std::vector<ReportRow> rows, QWidget* parent)
    : QWidget(parent)
    , rows_(std::move(rows))
    , printer_(std::make_unique<QPrinter>(QPrinter::HighResolution))
{
    setObjectName(QStringLiteral("DataReport1"));
    setWindowTitle(QStringLiteral("DataReport1"));
    preparePage(*printer_);
    printer_->setDocName(QStringLiteral("DataReport1"));

    auto* layout = new QVBoxLayout(this);
    auto* bar = new QHBoxLayout;
    auto button = [this, bar](const QString& text, const char* name) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoDefault(false);
        bar->addWidget(b);
        return b;
    };
    cmdPrint = button(QStringLiteral("&Print..."), "cmdPrint");
    cmdExport = button(QStringLiteral("&Export PDF..."), "cmdExport");
    cmdZoomIn = button(QStringLiteral("Zoom &In"), "cmdZoomIn");
    cmdZoomOut = button(QStringLiteral("Zoom &Out"), "cmdZoomOut");
    bar->addStretch(1);
    cmdClose = button(QStringLiteral("&Close"), "cmdClose");
    layout->addLayout(bar);

    preview = new QPrintPreviewWidget(printer_.get(), this);
    preview->setObjectName(QStringLiteral("preview"));
    layout->addWidget(preview, 1);
    connect(preview, &QPrintPreviewWidget::paintRequested, this, [this](QPrinter* printer) {
        try {
            paintReport(*printer, rows_);
        } catch (const std::exception&) {
            // The preview stays blank; printing and export report their own failures.
        }
    });

    connect(cmdPrint, &QPushButton::clicked, this, &DataReport1::printReport);
    connect(cmdExport, &QPushButton::clicked, this, &DataReport1::exportClicked);
    connect(cmdZoomIn, &QPushButton::clicked, preview, [this] { preview->zoomIn(); });
    connect(cmdZoomOut, &QPushButton::clicked, preview, [this] { preview->zoomOut(); });
    connect(cmdClose, &QPushButton::clicked, this, &QWidget::close);
    auto* printKey = new QShortcut(QKeySequence::Print, this);
    connect(printKey, &QShortcut::activated, this, &DataReport1::printReport);
    auto* closeKey = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(closeKey, &QShortcut::activated, this, &QWidget::close);

    resize(820, 640);
}

DataReport1::~DataReport1() = default;

DataReport1* DataReport1::current()
{
    return openWindow.data();
}

DataReport1* DataReport1::showReport(QWidget* messageParent)
{
    if (openWindow) {
        bringToFront(openWindow);
        return openWindow;
    }
    std::vector<ReportRow> rows;
    try {
        rows = DataEnvironment1::rsCommand1(databasePath());
    } catch (const std::exception& e) {
        MsgBox(
            QStringLiteral("The report cannot be shown. %1").arg(QString::fromUtf8(e.what())), messageParent);
        return nullptr;
    }
    auto* window = new DataReport1(std::move(rows));
    window->setAttribute(Qt::WA_DeleteOnClose);
    openWindow = window;
    window->show();
    return window;
}

bool DataReport1::reload()
{
    try {
        rows_ = DataEnvironment1::rsCommand1(databasePath());
    } catch (const std::exception& e) {
        MsgBox(QStringLiteral("The report cannot be read again. %1").arg(QString::fromUtf8(e.what())), this);
        return false;
    }
    preview->updatePreview();
    return true;
}

void DataReport1::printReport()
{
    QPrintDialog dialog(printer_.get(), this);
    dialog.setWindowTitle(QStringLiteral("Print DataReport1"));
    if (dialog.exec() != QDialog::Accepted)
        return;
    preview->print();
}

void DataReport1::exportClicked()
{
    QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Export PDF"),
        QDir::home().filePath(QStringLiteral("DataReport1.pdf")), QStringLiteral("PDF files (*.pdf)"));
    if (path.isEmpty())
        return;
    if (!path.endsWith(QStringLiteral(".pdf"), Qt::CaseInsensitive))
        path += QStringLiteral(".pdf");
    try {
        exportPdf(path);
    } catch (const std::exception& e) {
        MsgBox(QStringLiteral("The report was not exported to \"%1\". %2")
                   .arg(path, QString::fromUtf8(e.what())),
            this);
    }
}

void DataReport1::closeEvent(QCloseEvent* event)
{
    if (openWindow == this)
        openWindow = nullptr;
    event->accept();
}

} // namespace qm
