// SPDX-License-Identifier: GPL-3.0-or-later
#include "registers/RegisterWindow.h"
#include "platform/Twips.h"

#include "catalog/store/Queries.h"
#include "main_window/Form1.h"
#include "platform/DataControl.h"
#include "platform/MessageBox.h"
#include "platform/WindowFront.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Transaction.h>

#include <optional>

namespace qm {
namespace {

const QString kEndOfRecords = QStringLiteral("End of records");
const QString kTopOfRecords = QStringLiteral("at Top of the records");
const QString kEndOfRecord = QStringLiteral("End of record");
const QString kFileExists = QStringLiteral("(File already exist)");

// The open window of each register, by window name.
QHash<QString, QPointer<RegisterWindow>>& openWindows()
{
    static QHash<QString, QPointer<RegisterWindow>> windows;
    return windows;
}

template <typename W> W* place(W* widget, const QString& name, const TwipRect& r)
{
    return qm::place(widget, name, r.left, r.top, r.width, r.height);
}

// A walk over the register: the boxes are not repainted at each step, and the
// store is read under one lock instead of locking it again for every record.
// What the window holds unstored is stored before the walk begins.
class Walk {
public:
    explicit Walk(DataControl& dc)
        : quiet_(dc)
    {
        Recordset& rs = dc.recordset();
        if (rs.hasCurrentRecord())
            rs.Update();
        if (const auto db = dc.connection()) {
            try {
                read_.emplace(*db);
            } catch (const std::exception&) {
                // Without the lock the walk is only slower.
            }
        }
    }
    ~Walk()
    {
        if (read_) {
            try {
                read_->commit();
            } catch (const std::exception&) {
                // Nothing was written under it; the rollback of its destructor loses nothing.
            }
        }
    }
    Walk(const Walk&) = delete;
    Walk& operator=(const Walk&) = delete;

private:
    RepaintSuspender quiet_;
    std::optional<SQLite::Transaction> read_;
};

} // namespace

RegisterWindow::RegisterWindow(const RegisterDefinition& definition, QWidget* parent)
    : QWidget(parent)
    , def_(definition)
{
    setObjectName(def_.windowName);
    setWindowTitle(def_.caption);
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(tw(def_.clientWidth), tw(def_.clientHeight));
    buildControls();
}

RegisterWindow::~RegisterWindow() = default;

QLabel** RegisterWindow::labelSlot(const QString& name)
{
    QLabel** const labels[] = {&Label1, &Label2, &Label3, &Label4, &Label5, &Label6, &Label7};
    for (int i = 0; i < 7; ++i)
        if (name == QStringLiteral("Label%1").arg(i + 1))
            return labels[i];
    return nullptr;
}

QLineEdit** RegisterWindow::boxSlot(const QString& name)
{
    QLineEdit** const boxes[] = {&Text1, &Text2, &Text3, &Text4, &Text5, &Text6};
    for (int i = 0; i < 6; ++i)
        if (name == QStringLiteral("Text%1").arg(i + 1))
            return boxes[i];
    return nullptr;
}

void RegisterWindow::buildControls()
{
    const int off = def_.upperOffset;

    Label5 = place(new QLabel(def_.heading, this), QStringLiteral("Label5"), def_.headingRect);
    QFont headingFont = Label5->font();
    headingFont.setFamilies({QStringLiteral("MS Sans Serif"), headingFont.family()});
    headingFont.setPointSizeF(13.5);
    Label5->setFont(headingFont);

    lblSerial = place(
        new QLabel(QStringLiteral("Serial Number"), this), QStringLiteral("lblSerial"), def_.serialRect);
    QPalette serialPalette = lblSerial->palette();
    serialPalette.setColor(QPalette::WindowText, Qt::blue);
    lblSerial->setPalette(serialPalette);

    Check1 = place(new QCheckBox(QStringLiteral("Modify"), this), QStringLiteral("Check1"), def_.check1Rect);
    statusLabel_ = place(new QLabel(this), def_.statusLabel, def_.statusRect);
    *labelSlot(def_.statusLabel) = statusLabel_;

    for (const RegisterFieldRow& row : def_.rows) {
        QLabel* caption = place(new QLabel(row.caption, this), row.label, row.labelRect);
        *labelSlot(row.label) = caption;
        QLineEdit* box = place(new QLineEdit(row.designText, this), row.box, row.boxRect);
        box->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        caption->setBuddy(box);
        *boxSlot(row.box) = box;
        fieldBoxes_.push_back(box);
    }

    idBox_ = place(new QLineEdit(QStringLiteral("ID"), this), def_.idBox, def_.idBoxRect);
    idBox_->hide();
    *boxSlot(def_.idBox) = idBox_;

    Adodc1 = place(new DataControl(this), QStringLiteral("Adodc1"),
        {def_.idBoxRect.left - 1335, def_.idBoxRect.top, 1215, 330});
    Adodc1->setCaption(QStringLiteral("Adodc1"));
    Adodc1->hide();

    // The right column.
    const int right = 5400;
    const int rightWidth = 1815;
    const int buttonHeight = 375;
    Label6 = place(new QLabel(QStringLiteral("Search :"), this), QStringLiteral("Label6"),
        {right, 1320 + off, rightWidth, 255});
    Text5 = place(new QLineEdit(QStringLiteral("Search for"), this), QStringLiteral("Text5"),
        {right, 1680 + off, rightWidth, 375});
    auto button = [this](const char* text, const char* name, const TwipRect& r) {
        return place(new QPushButton(QString::fromLatin1(text), this), QString::fromLatin1(name), r);
    };
    Command10 = button("Search", "Command10", {right, 2160 + off, rightWidth, buttonHeight});
    Command11 = button("Next", "Command11", {right, 2160 + off, 855, buttonHeight});
    Command12 = button("Stop", "Command12", {6480, 2160 + off, 735, buttonHeight});
    Command8 = button("Move to &First", "Command8", {right, 2640 + off, rightWidth, buttonHeight});
    Command9 = button("Move to &Last", "Command9", {right, 3120 + off, rightWidth, buttonHeight});
    Command3 = button("&Update", "Command3", {right, 3600 + off, rightWidth, buttonHeight});

    // The two rows at the bottom.
    const int width = 1695;
    Command1 = button("&Next", "Command1", {600, def_.buttonRow1, width, buttonHeight});
    Command2 = button("&Previous", "Command2", {2760, def_.buttonRow1, width, buttonHeight});
    Command7 = button("&Delete", "Command7", {5040, def_.buttonRow1, width, buttonHeight});
    Command4 = button("&Add", "Command4", {600, def_.buttonRow2, width, buttonHeight});
    Command5 = button("&Save", "Command5", {2760, def_.buttonRow2, width, buttonHeight});
    Command6 = button("&Close", "Command6", {5040, def_.buttonRow2, width, buttonHeight});

    connect(Command1, &QPushButton::clicked, this, &RegisterWindow::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &RegisterWindow::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &RegisterWindow::Command3_Click);
    connect(Command4, &QPushButton::clicked, this, &RegisterWindow::Command4_Click);
    connect(Command5, &QPushButton::clicked, this, &RegisterWindow::Command5_Click);
    connect(Command6, &QPushButton::clicked, this, &RegisterWindow::Command6_Click);
    connect(Command7, &QPushButton::clicked, this, &RegisterWindow::Command7_Click);
    connect(Command8, &QPushButton::clicked, this, &RegisterWindow::Command8_Click);
    connect(Command9, &QPushButton::clicked, this, &RegisterWindow::Command9_Click);
    connect(Command10, &QPushButton::clicked, this, &RegisterWindow::Command10_Click);
    connect(Command11, &QPushButton::clicked, this, &RegisterWindow::Command11_Click);
    connect(Command12, &QPushButton::clicked, this, &RegisterWindow::Command12_Click);
    connect(Check1, &QCheckBox::clicked, this, &RegisterWindow::Check1_Click);
    // Enter in the search box runs whichever search button is showing.
    connect(Text5, &QLineEdit::returnPressed, this, [this] {
        if (Command10->isHidden())
            Command11_Click();
        else
            Command10_Click();
    });

    // Tab goes down the field rows, then through the search, then the buttons.
    QWidget* order[] = {Text5, Command10, Command11, Command12, Command8, Command9, Command3, Command1,
        Command2, Command7, Command4, Command5, Command6, Check1};
    QWidget* previous = nullptr;
    for (QLineEdit* box : fieldBoxes_) {
        if (previous)
            QWidget::setTabOrder(previous, box);
        previous = box;
    }
    for (QWidget* w : order) {
        QWidget::setTabOrder(previous, w);
        previous = w;
    }
}

Recordset& RegisterWindow::records()
{
    return Adodc1->recordset();
}

template <typename F> void RegisterWindow::guarded(F&& body)
{
    qm::guarded(this, std::forward<F>(body));
    Adodc1->lockWithoutRecord(fieldBoxes_);
}

bool RegisterWindow::fileNameIs(const QString& name) const
{
    return Adodc1->recordset().field(fileNameIndex_).toString() == name;
}

void RegisterWindow::setSearching(bool matching)
{
    Command10->setVisible(!matching);
    Command11->setVisible(matching);
    Command12->setVisible(matching);
}

QString RegisterWindow::exportPath() const
{
    return QFileInfo(Adodc1->databasePath()).absoluteDir().filePath(def_.table + QStringLiteral(".csv"));
}

RegisterWindow* RegisterWindow::instance(const RegisterDefinition& definition)
{
    return openWindows().value(definition.windowName).data();
}

RegisterWindow* RegisterWindow::showFor(
    const RegisterDefinition& definition, const QString& nodeText, const QString& nodeKey)
{
    if (RegisterWindow* open = instance(definition)) {
        bringToFront(open);
        return open;
    }
    auto* window = new RegisterWindow(definition);
    if (!window->Form_Load(nodeText, nodeKey)) {
        delete window;
        return nullptr;
    }
    openWindows().insert(definition.windowName, window);
    window->show();
    window->activateWindow();
    return window;
}

bool RegisterWindow::Form_Load(const QString& nodeText, const QString& nodeKey)
{
    nodeText_ = nodeText;
    nodeKey_ = nodeKey;
    Command11->hide();
    Command12->hide();
    Check1->setEnabled(false);
    for (QLineEdit* box : fieldBoxes_)
        box->setEnabled(false);

    Adodc1->bind(lblSerial, def_.serialField);
    for (const RegisterFieldRow& row : def_.rows)
        Adodc1->bind(*boxSlot(row.box), row.field);
    if (!def_.idField.isEmpty())
        Adodc1->bind(idBox_, def_.idField);

    Adodc1->setCommandType(CommandType::Table);
    Adodc1->setRecordSource(Queries::table(def_.table));
    try {
        Adodc1->Refresh();
    } catch (const std::exception& e) {
        MsgBox(QStringLiteral("The register table '%1' cannot be opened: %2")
                   .arg(def_.table, QString::fromUtf8(e.what())),
            nullptr); // this window never shows
        return false;
    }
    const Recordset& rs = records();
    for (const QString& field : def_.requiredFields()) {
        if (rs.fieldIndex(field) < 0) {
            MsgBox(QStringLiteral("The register table '%1' in %2 has no field '%3'; the window cannot open.")
                       .arg(def_.table, QDir::toNativeSeparators(Adodc1->databasePath()), field),
                nullptr);
            Adodc1->Close();
            return false;
        }
    }
    fileNameIndex_ = rs.fieldIndex(def_.fileNameField);
    return true;
}

void RegisterWindow::Form_Unload()
{
    if (unloaded_)
        return;
    unloaded_ = true;
    if (instance(def_) == this)
        openWindows().remove(def_.windowName);
    if (!Adodc1->isOpen())
        return;
    // A record begun by Add and whatever was typed are kept, not dropped.
    try {
        Recordset& rs = records();
        if (rs.hasCurrentRecord())
            rs.Update();
    } catch (const std::exception& e) {
        MsgBox(
            QStringLiteral("The record on screen could not be stored: %1").arg(QString::fromUtf8(e.what())),
            this);
    }
    Adodc1->Close();
}

void RegisterWindow::closeEvent(QCloseEvent* event)
{
    Form_Unload();
    event->accept();
}

void RegisterWindow::Command1_Click()
{
    guarded([this] {
        Recordset& rs = records();
        rs.MoveNext();
        if (rs.isEOF()) {
            rs.MovePrevious();
            MsgBox(kEndOfRecords, this);
        }
    });
}

void RegisterWindow::Command2_Click()
{
    guarded([this] {
        Recordset& rs = records();
        rs.MovePrevious();
        if (rs.BOF()) {
            rs.MoveNext();
            MsgBox(kTopOfRecords, this);
        }
    });
}

void RegisterWindow::Command3_Click()
{
    guarded([this] { records().Update(); });
}

void RegisterWindow::Command4_Click()
{
    guarded([this] {
        Recordset& rs = records();
        // An empty register holds no duplicate (and has no first record to go to).
        if (def_.duplicateCheck && !Check1->isChecked() && rs.RecordCount() > 0) {
            bool found = false;
            {
                Walk walk(*Adodc1);
                rs.MoveFirst();
                while (!rs.isEOF()) {
                    if (fileNameIs(nodeText_)) {
                        found = true;
                        break;
                    }
                    rs.MoveNext();
                }
            }
            if (found) {
                statusLabel_->setText(kFileExists);
                Check1->setEnabled(true);
                return;
            }
        }
        for (QLineEdit* box : fieldBoxes_)
            box->setEnabled(true);
        rs.AddNew();
        Text1->setText(nodeText_);
        idBox_->setText(nodeKey_);
        Text3->setFocus();
        Command4->setEnabled(false);
    });
}

void RegisterWindow::Check1_Click()
{
    Command4->setEnabled(true);
    Check1->setEnabled(false);
}

void RegisterWindow::Command5_Click()
{
    guarded([this] {
        Recordset& rs = records();
        // The file holds what the screen shows, so a pending record is stored first.
        if (rs.hasCurrentRecord())
            rs.Update();
        const QString path = exportPath();
        rs.SaveCsv(path);
        MsgBox(
            QStringLiteral("The %1 register was saved to %2").arg(def_.table, QDir::toNativeSeparators(path)),
            this);
    });
}

void RegisterWindow::Command6_Click()
{
    close();
}

void RegisterWindow::Command7_Click()
{
    guarded([this] {
        Recordset& rs = records();
        const bool adding = rs.editMode() == Recordset::EditMode::Add;
        rs.Delete();
        if (adding)
            return; // only the record begun by Add was dropped; nothing stored was removed
        if (def_.afterDelete == AfterDelete::StepBack) {
            // After the only record there is nothing to step back to.
            if (!rs.BOF())
                rs.MovePrevious();
        } else {
            // Display only: the cursor stands on the gap, so no box is stored from here.
            for (QLineEdit* box : fieldBoxes_)
                box->clear();
        }
    });
}

void RegisterWindow::Command8_Click()
{
    guarded([this] { records().MoveFirst(); });
}

void RegisterWindow::Command9_Click()
{
    guarded([this] { records().MoveLast(); });
}

void RegisterWindow::Command10_Click()
{
    guarded([this] {
        Recordset& rs = records();
        const QString wanted = Text5->text();
        bool found = false;
        {
            Walk walk(*Adodc1);
            rs.MoveFirst();
            while (!rs.isEOF()) {
                if (fileNameIs(wanted)) {
                    found = true;
                    break;
                }
                rs.MoveNext();
            }
        }
        if (found)
            setSearching(true);
        else
            Text5->setText(kEndOfRecord);
    });
}

void RegisterWindow::Command11_Click()
{
    guarded([this] {
        Recordset& rs = records();
        const QString wanted = Text5->text();
        bool found = false;
        {
            Walk walk(*Adodc1);
            while (!rs.isEOF()) {
                rs.MoveNext();
                if (!rs.isEOF() && fileNameIs(wanted)) {
                    found = true;
                    break;
                }
            }
        }
        if (!found) {
            Text5->setText(kEndOfRecord);
            setSearching(false);
        }
    });
}

void RegisterWindow::Command12_Click()
{
    setSearching(false);
}

} // namespace qm
