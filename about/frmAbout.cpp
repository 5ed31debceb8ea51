// SPDX-License-Identifier: GPL-3.0-or-later
#include "about/frmAbout.h"
#include "platform/Twips.h"

#include "about/VersionResource.h"
#include "platform/AppPaths.h"
#include "main_window/Form1.h"
#include "platform/WindowFront.h"

#include <QFrame>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>

namespace qm {
namespace {

QPointer<frmAbout> openWindow;

} // namespace

frmAbout::frmAbout(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About MyApp"));
    setModal(false);
    setFixedSize(tw(5730), tw(3150));

    picIcon = place(new QLabel(this), "picIcon", 240, 240, 480, 480);
    picIcon->setPixmap(QPixmap::fromImage(picture()));

    lblTitle = place(new QLabel(QStringLiteral("Quillmark"), this), "lblTitle", 1050, 240, 4425, 540);
    QFont titleFont(QStringLiteral("Times New Roman"));
    titleFont.setPointSizeF(20.25);
    titleFont.setBold(true);
    titleFont.setItalic(true);
    lblTitle->setFont(titleFont);

    lblVersion
        = place(new QLabel(QStringLiteral("Version :   1.1.0"), this), "lblVersion", 1050, 840, 4425, 255);
    lblDescription = place(new QLabel(QStringLiteral("Program to keep track all the files. You can store "
                                                     "information for different types of files like   "
                                                     "Projects, Multimedia and other documents."),
                               this),
        "lblDescription", 1050, 1200, 4425, 900);
    lblDescription->setWordWrap(true);
    lblDescription->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    // A sunken line is the grey-over-white pair of an etched separator.
    Line1 = place(new QFrame(this), "Line1", 105, 2280, 5520, 30);
    Line1->setFrameShape(QFrame::HLine);
    Line1->setFrameShadow(QFrame::Sunken);

    cmdOK = place(new QPushButton(QStringLiteral("OK"), this), "cmdOK", 4245, 2520, 1260, 375);
    // Enter presses the default button; Esc rejects the dialog, which closes it as OK does.
    cmdOK->setDefault(true);
    cmdOK->setAutoDefault(true);
    connect(cmdOK, &QPushButton::clicked, this, &frmAbout::cmdOK_Click);
}

frmAbout::~frmAbout() = default;

frmAbout* frmAbout::current()
{
    return openWindow && openWindow->isVisible() ? openWindow.data() : nullptr;
}

frmAbout* frmAbout::showWindow()
{
    if (frmAbout* open = current()) {
        bringToFront(open);
        return open;
    }
    auto* window = new frmAbout;
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->Form_Load();
    openWindow = window;
    window->show();
    return window;
}

void frmAbout::Form_Load()
{
    const QString title = QString::fromLatin1(kApplicationTitle);
    setWindowTitle(QStringLiteral("About ") + title);
    lblVersion->setText(QStringLiteral("Version %1.%2.%3")
                            .arg(QString::number(VersionResource::majorVersion()),
                                QString::number(VersionResource::minorVersion()),
                                QString::number(VersionResource::revision())));
    lblTitle->setText(title);
}

void frmAbout::cmdOK_Click()
{
    accept();
}

QImage frmAbout::picture()
{
    // A catalogue card with ruled lines and a quill across it.
    QImage image(32, 32, QImage::Format_RGB888);
    image.fill(QColor(0xF0, 0xF0, 0xF0));
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    p.setPen(QPen(QColor(0x5A, 0x5A, 0x5A), 1));
    p.setBrush(QColor(0xFF, 0xF8, 0xE1));
    p.drawRect(QRectF(2.5, 8.5, 22, 20));
    p.setPen(QPen(QColor(0x9E, 0xB7, 0xD6), 1));
    for (int y = 14; y <= 26; y += 4)
        p.drawLine(QPointF(5, y + 0.5), QPointF(22, y + 0.5));
    p.setPen(QPen(QColor(0xC6, 0x28, 0x28), 1));
    p.drawLine(QPointF(5, 11.5), QPointF(22, 11.5));

    QPainterPath feather;
    feather.moveTo(29.5, 1.5);
    feather.cubicTo(22, 3, 15, 11, 12, 21);
    feather.cubicTo(18, 18, 26, 11, 29.5, 1.5);
    p.setPen(QPen(QColor(0x1A, 0x23, 0x7E), 1));
    p.setBrush(QColor(0x30, 0x4F, 0xFE));
    p.drawPath(feather);
    p.setPen(QPen(QColor(0xE8, 0xEA, 0xF6), 1));
    p.drawLine(QPointF(28, 3), QPointF(14, 19));
    p.setPen(QPen(QColor(0x21, 0x21, 0x21), 1.5));
    p.drawLine(QPointF(13, 20), QPointF(9, 26));
    p.end();
    return image;
}

} // namespace qm
