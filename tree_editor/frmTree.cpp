// SPDX-License-Identifier: GPL-3.0-or-later
#include "tree_editor/frmTree.h"
#include "platform/Twips.h"

#include "catalog/tree/CatalogueTree.h"
#include "catalog/Catalogues.h"
#include "platform/NameBox.h"
#include "platform/WindowFront.h"

#include "catalog/NameFile.h"
#include "catalog/NodeKeys.h"
#include "catalog/store/Queries.h"
#include "main_window/Form1.h"
#include "platform/DataControl.h"
#include "platform/MessageBox.h"
#include "platform/TreeView.h"

#include <QCloseEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <SQLiteCpp/Database.h>
#include <SQLiteCpp/Statement.h>

#include <optional>

namespace qm {
namespace {

const QString kNamePrompt = QStringLiteral("Enter new name");

QPointer<frmTree> openWindow;

// A box's caption stands just above it.
QLabel* captionAbove(QWidget* parent, const char* name, const QString& text, const QLineEdit* box)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    const QRect g = box->geometry();
    label->setGeometry(g.left(), g.top() - tw(240), g.width(), tw(240));
    label->setBuddy(const_cast<QLineEdit*>(box));
    return label;
}

std::optional<std::int64_t> rowIdOf(
    SQLite::Database& db, const QString& databaseName, const QString& parentKey, const QString& key)
{
    SQLite::Statement st(db, Queries::kNodeRecordRowId);
    st.bind(1, databaseName.toStdString());
    st.bind(2, parentKey.toStdString());
    st.bind(3, key.toStdString());
    if (!st.executeStep())
        return std::nullopt;
    return st.getColumn(0).getInt64();
}

bool rowExists(SQLite::Database& db, std::int64_t rowId)
{
    SQLite::Statement st(db, "SELECT 1 FROM main WHERE rowid = ?");
    st.bind(1, static_cast<int64_t>(rowId));
    return st.executeStep();
}

} // namespace

frmTree::frmTree(QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("frmTree"));
    setWindowTitle(QStringLiteral("Tree"));
    buildControls();
}

frmTree::~frmTree() = default;

frmTree* frmTree::current()
{
    return openWindow.data();
}

frmTree* frmTree::showWindow()
{
    if (openWindow) {
        bringToFront(openWindow);
        return openWindow;
    }
    auto* window = new frmTree;
    window->setAttribute(Qt::WA_DeleteOnClose);
    if (!window->Form_Load()) {
        delete window;
        return nullptr;
    }
    openWindow = window;
    window->show();
    return window;
}

void frmTree::buildControls()
{
    setFixedSize(tw(6870), tw(6345));

    Adodc1 = place(new DataControl(this), "Adodc1", 360, 120, 3375, 330);
    Adodc1->setCaption(QStringLiteral("Adodc1"));
    TreeView1 = place(new TreeView(this), "TreeView1", 360, 600, 3375, 3735);
    TreeView1->Nodes().setShowImages(false);
    TreeView1->setRootIsDecorated(true);

    Text3 = place(new QLineEdit(this), "Text3", 4080, 600, 2055, 495);
    Label1 = captionAbove(this, "Label1", QStringLiteral("File Name"), Text3);
    Text4 = place(new QLineEdit(this), "Text4", 4080, 1800, 2055, 495);
    Label2 = captionAbove(this, "Label2", QStringLiteral("Path"), Text4);
    Text5 = place(new QLineEdit(this), "Text5", 4080, 3000, 2055, 495);
    Label3 = captionAbove(this, "Label3", QStringLiteral("Size"), Text5);
    Text6 = place(new QLineEdit(this), "Text6", 4080, 4200, 2055, 495);
    Label4 = captionAbove(this, "Label4", QStringLiteral("Date"), Text6);
    auto* nameBox = new NameBox(kNamePrompt, this);
    nameBox->setNameSource([this] { return catalogueNamesOf(*Adodc1); });
    Text8 = place(nameBox, "Text8", 360, 4920, 2895, 375);
    Label7 = captionAbove(this, "Label7", QStringLiteral("Database"), Text8);
    Command2 = place(new QPushButton(QStringLiteral("Open"), this), "Command2", 3840, 4920, 2775, 495);
    Command1
        = place(new QPushButton(QStringLiteral("Save database"), this), "Command1", 3840, 5640, 2775, 495);
    Text1 = place(new QLineEdit(this), "Text1", 120, 5760, 495, 495);
    Label5 = captionAbove(this, "Label5", QStringLiteral("ID"), Text1);
    Text2 = place(new QLineEdit(this), "Text2", 840, 5760, 495, 495);
    Label6 = captionAbove(this, "Label6", QStringLiteral("Parent"), Text2);
    Text7 = place(new QLineEdit(this), "Text7", 1560, 5760, 1695, 495);
    Label8 = captionAbove(this, "Label8", QStringLiteral("dbase name"), Text7);

    Adodc1->bind(Text1, QStringLiteral("ID"));
    Adodc1->bind(Text2, QStringLiteral("Parent"));
    Adodc1->bind(Text3, QStringLiteral("file_name"));
    Adodc1->bind(Text4, QStringLiteral("path"));
    Adodc1->bind(Text5, QStringLiteral("size"));
    Adodc1->bind(Text6, QStringLiteral("date"));
    Adodc1->bind(Text7, QStringLiteral("dbaseName"));

    // The boxes are open for typing only while they show a record: a node's,
    // or one the data control's own buttons walked to.
    connect(Adodc1, &DataControl::moved, this, [this] {
        QLineEdit* const bound[] = {Text1, Text2, Text3, Text4, Text5, Text6, Text7};
        Adodc1->lockWithoutRecord(bound);
    });
    connect(TreeView1, &TreeView::NodeClick, this, &frmTree::TreeView1_NodeClick);
    connect(Command1, &QPushButton::clicked, this, &frmTree::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &frmTree::Command2_Click);

    QWidget::setTabOrder(TreeView1, Text3);
    QWidget::setTabOrder(Text3, Text4);
    QWidget::setTabOrder(Text4, Text5);
    QWidget::setTabOrder(Text5, Text6);
    QWidget::setTabOrder(Text6, Text8);
    QWidget::setTabOrder(Text8, Command2);
    QWidget::setTabOrder(Command2, Command1);
    QWidget::setTabOrder(Command1, Text1);
    QWidget::setTabOrder(Text1, Text2);
    QWidget::setTabOrder(Text2, Text7);
}

bool frmTree::Form_Load()
{
    const NameFile::Reading reading = NameFile::read();

    if (!Adodc1->isOpen()) {
        try {
            Adodc1->setCommandType(CommandType::Table);
            Adodc1->setRecordSource(Queries::mainTable());
            Adodc1->Refresh();
        } catch (const std::exception& e) {
            MsgBox(QString::fromUtf8(e.what()), isVisible() ? this : nullptr);
            return false;
        }
    } else {
        // Loading again: what was typed is kept, and the cursor takes in what
        // other windows wrote meanwhile.
        guarded(this, [this] {
            storePendingEdit();
            Adodc1->Refresh();
        });
    }
    // No node is chosen yet, and the first record of the table may belong to
    // another catalogue: the cursor stands before the first record, so the
    // boxes offer none until a node is clicked.
    if (Adodc1->isOpen()) {
        guarded(this, [this] {
            Recordset& rs = Adodc1->recordset();
            // Asked without the count, which would read every row id.
            if (!rs.BOF())
                rs.MovePrevious();
        });
    }

    if (!reading.problem.isEmpty())
        MsgBox(unreadableNameMessage(reading.problem), isVisible() ? this : nullptr);
    shownDatabaseName_ = reading.name;
    guarded(this, [this] { buildTree(); });
    return true;
}

void frmTree::buildTree()
{
    NodeModel& nodes = TreeView1->Nodes();
    auto db = Adodc1->connection();
    if (!db)
        throw DbError("The catalogue database is not open.");

    // SrNO order brings a folder before what it holds, as the scan wrote them.
    nodes.Clear();
    const std::int64_t unplaced = fillCatalogueTree(db, shownDatabaseName_, nodes, false);
    TreeView1->Expand(nodes.Item(1));
    if (unplaced > 0)
        MsgBox(unplacedRecordsMessage(unplaced, shownDatabaseName_), this);
}

void frmTree::storePendingEdit()
{
    if (!Adodc1->isOpen())
        return;
    Recordset& rs = Adodc1->recordset();
    if (rs.hasCurrentRecord())
        rs.Update();
}

void frmTree::TreeView1_NodeClick(Node*)
{
    const Node* selected = TreeView1->SelectedItem();
    if (!selected || selected->Key == kRootKey || !Adodc1->isOpen())
        return;
    const QString key = selected->Key;
    const QString parentKey = selected->Parent ? selected->Parent->Key : QString();
    const QString text = selected->Text;

    guarded(this, [&] {
        auto db = Adodc1->connection();
        // The shown catalogue's record: other catalogues reuse the same keys.
        const std::optional<std::int64_t> rowId = rowIdOf(*db, shownDatabaseName_, parentKey, key);
        Recordset& rs = Adodc1->recordset();
        const std::int64_t before = rs.rowId();
        try {
            if (!rowId) {
                storePendingEdit();
                MsgBox(QStringLiteral("The record of \"%1\" is no longer in the catalogue \"%2\". \"Open\" "
                                      "builds the tree again.")
                           .arg(text, shownDatabaseName_),
                    this);
                return;
            }
            // Moving stores an edit of the record shown first.
            if (!rs.moveToRowId(*rowId)) {
                // Written after this window opened its cursor.
                storePendingEdit();
                Adodc1->Refresh();
                Adodc1->recordset().moveToRowId(*rowId);
            }
        } catch (const DbError&) {
            // A record removed elsewhere cannot take the edit; anything else
            // (a busy store) keeps the edit in the boxes for another try.
            if (before == 0 || rowExists(*db, before))
                throw;
            rs.CancelUpdate();
            MsgBox(QStringLiteral("The record shown was removed from the catalogue by another window; "
                                  "the change made to it was not stored."),
                this);
            if (rowId && !Adodc1->recordset().moveToRowId(*rowId)) {
                Adodc1->Refresh();
                Adodc1->recordset().moveToRowId(*rowId);
            }
        }
    });
}

void frmTree::Command1_Click()
{
    // A failed write leaves the old name in place and says nothing; so does a
    // tree without a root, which names no catalogue.
    if (const auto name = nameToSave(Text8->text(), kNamePrompt, TreeView1->Nodes()))
        NameFile::write(*name);
}

void frmTree::Command2_Click()
{
    Command1_Click();
    TreeView1->Nodes().Clear();
    Form_Load();
}

void frmTree::Form_Unload()
{
    if (unloaded_)
        return;
    unloaded_ = true;
    // What is left typed in the boxes is kept, as a move would keep it.
    guarded(this, [this] { storePendingEdit(); });
    Adodc1->Close();
}

void frmTree::closeEvent(QCloseEvent* event)
{
    Form_Unload();
    if (openWindow == this)
        openWindow = nullptr;
    event->accept();
}

} // namespace qm
