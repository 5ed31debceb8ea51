// SPDX-License-Identifier: GPL-3.0-or-later
#include "main_window/Form1.h"
#include "platform/Twips.h"

#include "platform/AppPaths.h"
#include "catalog/Catalogues.h"
#include "catalog/NameFile.h"
#include "catalog/NodeKeys.h"
#include "catalog/store/Queries.h"
#include "main_window/BackgroundCheck.h"
#include "main_window/ReadOptions.h"
#include "main_window/ReadableLists.h"
#include "main_window/StatusReport.h"
#include "main_window/XpandTree.h"
#include "platform/Clipboard.h"
#include "platform/DataControl.h"
#include "platform/FolderLists.h"
#include "platform/GrowingClient.h"
#include "platform/MessageBox.h"
#include "platform/NameBox.h"
#include "platform/TreeView.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollArea>
#include <QTimer>
#include <QTreeWidget>

namespace qm {
namespace {

QLabel* boldLabel(QWidget* parent, const QString& text, int pointSize)
{
    auto* label = new QLabel(text, parent);
    QFont f = label->font();
    f.setBold(true);
    if (pointSize > 0)
        f.setPointSize(pointSize);
    label->setFont(f);
    return label;
}

QTreeWidget* reportList(QWidget* parent)
{
    auto* list = new QTreeWidget(parent);
    list->setRootIsDecorated(false);
    list->setUniformRowHeights(true);
    list->setAllColumnsShowFocus(true);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->header()->setStretchLastSection(false);
    list->setColumnCount(0);
    return list;
}

} // namespace

Form1::Form1(QWidget* parent)
    : QMainWindow(parent)
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Quillmark"));
    setAttribute(Qt::WA_DeleteOnClose, false);
    buildControls();
    buildMenus();
    setupSecondaryWindows();
    status_ = new StatusReport(*this);
    addContentMenus();
    addSpaceMenu();
    setupLists();
    setupKeyboard();
}

Form1::~Form1() = default;

void Form1::buildControls()
{
    auto* client = new GrowingClient(QSize(tw(14880), tw(9120)));
    client->setObjectName(QStringLiteral("client"));
    setCentralWidget(client->inScrollArea());

    Drive1 = place(new DriveListBox(client), "Drive1", 120, 120, 4695, 315);
    Dir1 = place(new DirListBox(client), "Dir1", 0, 600, 4815, 2340);
    File1 = place(new FileListBox(client), "File1", 13200, 720, 1335, 285);
    File1->hide();
    Label1 = place(boldLabel(client, QStringLiteral("Database Tree"), 12), "Label1", 0, 3000, 1815, 375);
    TreeView1 = place(new TreeView(client), "TreeView1", 0, 3360, 4815, 4455);
    Label2
        = place(boldLabel(client, QStringLiteral("Folder Information"), 12), "Label2", 4920, 360, 2535, 255);
    ListView2 = place(reportList(client), "ListView2", 4800, 600, 10095, 2340);
    Label3
        = place(boldLabel(client, QStringLiteral("File Information"), 12), "Label3", 4920, 3000, 2655, 255);
    ListView1 = place(reportList(client), "ListView1", 4800, 3240, 10095, 4575);
    Adodc1 = place(new DataControl(client), "Adodc1", 11760, 2880, 2055, 375);
    Adodc1->setCaption(QStringLiteral("Adodc1"));
    Adodc1->hide();

    // The hidden record buffer of table main, in a row along the top edge.
    const struct {
        QLineEdit** box;
        const char* name;
        const char* field;
    } buffer[] = {{&Text1, "Text1", "ID"}, {&Text2, "Text2", "Parent"}, {&Text3, "Text3", "dbaseName"},
        {&Text4, "Text4", "file_name"}, {&Text5, "Text5", "path"}, {&Text6, "Text6", "size"},
        {&Text7, "Text7", "date"}, {&Text9, "Text9", "delKey"}};
    int x = 5000;
    for (const auto& b : buffer) {
        *b.box = place(new QLineEdit(client), b.name, x, 0, 735, 285);
        (*b.box)->hide();
        Adodc1->bind(*b.box, QString::fromLatin1(b.field));
        x += 840;
    }

    Label4 = place(boldLabel(client, QStringLiteral("Database Name"), 0), "Label4", 4440, 7920, 2055, 255);
    auto* nameBox = new NameBox(QStringLiteral("Enter database name"), client);
    nameBox->setNameSource([this] { return catalogueNamesOf(*Adodc1); });
    Text8 = place(nameBox, "Text8", 4440, 8280, 1935, 285);
    Command2
        = place(new QPushButton(QStringLiteral("Add Folder"), client), "Command2", 1920, 8280, 1935, 255);
    Command7
        = place(new QPushButton(QStringLiteral("Delete Folder"), client), "Command7", 1920, 8760, 1935, 255);
    Command5
        = place(new QPushButton(QStringLiteral("Open Database"), client), "Command5", 4440, 8760, 1935, 255);
    Command1 = place(
        new QPushButton(QStringLiteral("Add new database"), client), "Command1", 6600, 8760, 1935, 255);
    Command3 = place(
        new QPushButton(QStringLiteral("Save to database"), client), "Command3", 8760, 8760, 1935, 255);
    Command6 = place(new QPushButton(QStringLiteral("Edit"), client), "Command6", 10920, 8280, 2055, 255);
    Command4 = place(
        new QPushButton(QStringLiteral("Clear Database"), client), "Command4", 10920, 8760, 2055, 255);
    Command4->setEnabled(false);
    // Left of "Add Folder", in the room the designed block leaves free.
    UpdateFolder = place(
        new QPushButton(QStringLiteral("Update Folder"), client), "UpdateFolder", 0, 8280, 1815, 255);
    UpdateFolder->setWhatsThis(QStringLiteral("Walks the selected top-level folder again and brings its "
                                              "records up to date, keeping their keys and register notes."));
    Check1 = place(new QCheckBox(QStringLiteral("Project File"), client), "Check1", 6960, 8040, 1215, 255);
    Check2 = place(new QCheckBox(QStringLiteral("Multimedia"), client), "Check2", 6960, 8400, 1095, 255);
    Check3 = place(new QCheckBox(QStringLiteral("Ducument"), client), "Check3", 8880, 8040, 1095, 255);
    Check4 = place(
        new QCheckBox(QStringLiteral("Installation-Update"), client), "Check4", 8880, 8400, 1695, 255);

    connect(Drive1, &DriveListBox::Change, this, &Form1::Drive1_Change);
    connect(Dir1, &DirListBox::Change, this, &Form1::Dir1_Change);
    connect(TreeView1, &TreeView::NodeClick, this, &Form1::TreeView1_NodeClick);
    connect(Command2, &QPushButton::clicked, this, &Form1::Command2_Click);
    connect(Command7, &QPushButton::clicked, this, &Form1::Command7_Click);
    connect(UpdateFolder, &QPushButton::clicked, this, &Form1::UpdateFolder_Click);
    connect(Command5, &QPushButton::clicked, this, &Form1::Command5_Click);
    connect(Command1, &QPushButton::clicked, this, &Form1::Command1_Click);
    connect(Command3, &QPushButton::clicked, this, &Form1::Command3_Click);
    connect(Command6, &QPushButton::clicked, this, &Form1::Command6_Click);
    // Clicks by the user and changes by the program alike, as the boxes' handlers expect.
    connect(Check1, &QCheckBox::stateChanged, this, &Form1::Check1_Click);
    connect(Check2, &QCheckBox::stateChanged, this, &Form1::Check2_Click);
    connect(Check3, &QCheckBox::stateChanged, this, &Form1::Check3_Click);
    connect(Check4, &QCheckBox::stateChanged, this, &Form1::Check4_Click);

    setupGrowth(*client);
}

void Form1::buildMenus()
{
    File = menuBar()->addMenu(QStringLiteral("&File"));
    File->setObjectName(QStringLiteral("File"));
    Tree = File->addAction(QStringLiteral("&Tree"), this, &Form1::Tree_Click);
    Tree->setObjectName(QStringLiteral("Tree"));
    Report = File->addAction(QStringLiteral("Report"), this, &Form1::Report_Click);
    Report->setObjectName(QStringLiteral("Report"));
    Find = File->addAction(QStringLiteral("&Find..."), this, &Form1::Find_Click);
    Find->setObjectName(QStringLiteral("Find"));
    Find->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    Disks = File->addAction(QStringLiteral("&Disks..."), this, &Form1::Disks_Click);
    Disks->setObjectName(QStringLiteral("Disks"));
    Exit = File->addAction(QStringLiteral("E&xit"), this, &Form1::Exit_Click);
    Exit->setObjectName(QStringLiteral("Exit"));
    Exit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_X));

    edit = menuBar()->addMenu(QStringLiteral("&Edit"));
    edit->setObjectName(QStringLiteral("edit"));
    Project = edit->addAction(QStringLiteral("&Project Files"), this, &Form1::Project_Click);
    Project->setObjectName(QStringLiteral("Project"));
    Multimedia = edit->addAction(QStringLiteral("&Multimedia"), this, &Form1::Multimedia_Click);
    Multimedia->setObjectName(QStringLiteral("Multimedia"));
    Document = edit->addAction(QStringLiteral("&Documents"), this, &Form1::Document_Click);
    Document->setObjectName(QStringLiteral("Document"));
    InstallNUpdate
        = edit->addAction(QStringLiteral("&Installation Files"), this, &Form1::InstallNUpdate_Click);
    InstallNUpdate->setObjectName(QStringLiteral("InstallNUpdate"));

    About = menuBar()->addAction(QStringLiteral("&About"), this, &Form1::About_Click);
    About->setObjectName(QStringLiteral("About"));

    readOptions_ = new ReadOptions(*this);
}

void Form1::addColumnHeaders()
{
    auto columns
        = [](QTreeWidget* list, const std::initializer_list<std::tuple<const char*, int, bool>>& cols) {
              QStringList labels;
              for (const auto& c : cols)
                  labels << QString::fromLatin1(std::get<0>(c));
              list->setColumnCount(static_cast<int>(labels.size()));
              list->setHeaderLabels(labels);
              int i = 0;
              for (const auto& c : cols) {
                  list->setColumnWidth(i, tw(std::get<1>(c)));
                  if (std::get<2>(c))
                      list->headerItem()->setTextAlignment(i, Qt::AlignRight | Qt::AlignVCenter);
                  ++i;
              }
          };
    columns(ListView1,
        {{"No.", 500, false}, {"Filename", 3000, false}, {"Path", 3000, false}, {"Size", 1200, true},
            {"Date", 1345, false}});
    columns(ListView2,
        {{"Name", 2000, false}, {"Path", 3000, false}, {"Size", 1200, true}, {"Created", 1345, false},
            {"Modified", 1345, false}});
    // The designed widths are the least: a whole date fits its column.
    const QString date = QStringLiteral("0000-00-00 00:00:00");
    fitColumnTo(ListView1, 4, date);
    fitColumnTo(ListView2, 3, date);
    // A wider window shows more of the names and paths.
    shareExtraWidth(ListView1, {1, 2});
    shareExtraWidth(ListView2, {0, 1});
}

bool Form1::Form_Load()
{
    // Lines between the root nodes too.
    TreeView1->setRootIsDecorated(true);

    Drive1->setDrive(QStringLiteral("/"));
    Dir1->setPath(QStringLiteral("/"));

    // LoadTree reads the file again and tells when it cannot be read.
    currentDatabaseName_ = NameFile::read().name;

    bool opened = true;
    try {
        Adodc1->setCommandType(CommandType::Text);
        Adodc1->setRecordSource(Queries::mainWindow());
        Adodc1->Refresh();
    } catch (const std::exception& e) {
        MsgBox(QStringLiteral("The catalogue database %1 cannot be opened: %2\n\nQuillmark cannot show the "
                              "catalogue and will close; the file was not changed.")
                   .arg(databasePath(), QString::fromUtf8(e.what())),
            this);
        opened = false;
    }
    if (opened) {
        guarded(this, [this] { XpandTree::LoadTree(*this); });
        // The daily full check of the store, once the window is up.
        auto* check = new BackgroundCheck(databasePath(), this);
        check->setObjectName(QStringLiteral("BackgroundCheck"));
        QTimer::singleShot(0, check, &BackgroundCheck::startIfDue);
    }

    addColumnHeaders();
    placeWindow();
    return opened;
}

void Form1::Drive1_Change()
{
    const QString drive = Drive1->Drive();
    if (Dir1->setPath(drive)) {
        previousDrive_ = drive;
        return;
    }
    MsgBox(QStringLiteral("The drive %1 cannot be read.").arg(drive), this);
    if (!previousDrive_.isEmpty() && previousDrive_ != drive)
        Drive1->setDrive(previousDrive_);
}

void Form1::Dir1_Change()
{
    File1->setPath(Dir1->Path());
}

void Form1::Exit_Click()
{
    clipboard().Clear();
    close();
}

void Form1::Form_Unload()
{
    if (unloaded_)
        return;
    unloaded_ = true;
    clipboard().Clear();
}

void Form1::closeEvent(QCloseEvent* event)
{
    saveWindowSize();
    Form_Unload();
    event->accept();
}

QString Form1::NextNodeKey() const
{
    try {
        return nextNodeKey(TreeView1->Nodes());
    } catch (...) {
        return QStringLiteral("1>");
    }
}

} // namespace qm
