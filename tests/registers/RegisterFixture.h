// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
#include "registers/RegisterDefinitions.h"
#include "registers/RegisterWindow.h"
#include "support/FormFixture.h"

#include <QAction>
#include <QLabel>

#include <algorithm>

#include <SQLiteCpp/Statement.h>

// The register window's buttons by what they do.
namespace button {
using Click = void (qm::RegisterWindow::*)();
constexpr Click Next = &qm::RegisterWindow::Command1_Click, Previous = &qm::RegisterWindow::Command2_Click,
                Update = &qm::RegisterWindow::Command3_Click, Add = &qm::RegisterWindow::Command4_Click,
                Save = &qm::RegisterWindow::Command5_Click, Delete = &qm::RegisterWindow::Command7_Click,
                First = &qm::RegisterWindow::Command8_Click, Last = &qm::RegisterWindow::Command9_Click,
                Search = &qm::RegisterWindow::Command10_Click,
                SearchNext = &qm::RegisterWindow::Command11_Click,
                Stop = &qm::RegisterWindow::Command12_Click;
} // namespace button

// A started main window with the file node "1>" "a.txt" selected, and the
// register windows it opens.
class RegisterTest : public FormTest {
protected:
    void SetUp() override
    {
        FormTest::SetUp();
        load(QString());
        select(addNode(QStringLiteral("1>"), QStringLiteral("a.txt")));
    }

    qm::Node* addNode(const QString& key, const QString& text)
    {
        return form->TreeView1->Nodes().Add(QStringLiteral("0>"), key, text, 2, 0);
    }
    void select(qm::Node* node) { form->TreeView1->setSelectedItem(node); }

    // The menu item of a register.
    void choose(const qm::RegisterDefinition& d)
    {
        QAction* items[] = {form->Project, form->Document, form->Multimedia, form->InstallNUpdate};
        const auto all = qm::allRegisters();
        items[std::find(all.begin(), all.end(), &d) - all.begin()]->trigger();
    }
    qm::RegisterWindow* open(const qm::RegisterDefinition& d)
    {
        choose(d);
        return qm::RegisterWindow::instance(d);
    }
    // Presses the buttons in turn; the file name box's text after the last.
    static QString press(qm::RegisterWindow* w, std::initializer_list<button::Click> buttons)
    {
        for (button::Click b : buttons)
            (w->*b)();
        return w->Text1->text();
    }
    // Closes a window with its Close button.
    static void closeWith(qm::RegisterWindow* w)
    {
        w->Command6_Click();
        qmtest::flushDeletes();
    }

    // Adds register records by file name, the second field "about <name>".
    void addRows(const qm::RegisterDefinition& d, const QStringList& names)
    {
        for (const QString& name : names) {
            SQLite::Statement st(db(),
                QStringLiteral("INSERT INTO \"%1\" (\"%2\", \"%3\") VALUES (?, ?)")
                    .arg(d.table, d.fileNameField, d.rows[1].field)
                    .toStdString());
            st.bind(1, name.toStdString());
            st.bind(2, ("about " + name).toStdString());
            st.exec();
        }
    }
    // One column of a register table in table order; NULL reads as "<null>".
    QStringList column(const qm::RegisterDefinition& d, const QString& field)
    {
        return texts(QStringLiteral("SELECT \"%1\" FROM \"%2\" ORDER BY rowid").arg(field, d.table));
    }
    QStringList fileNames(const qm::RegisterDefinition& d) { return column(d, d.fileNameField); }
    long long rows(const qm::RegisterDefinition& d) { return count({}, d.table); }

    static QStringList boxTexts(const qm::RegisterWindow* w)
    {
        QStringList out;
        for (const QLineEdit* box : w->fieldBoxes())
            out << box->text();
        return out;
    }
    static QStringList blanks(const qm::RegisterWindow* w)
    {
        return QStringList(w->fieldBoxes().size(), QString());
    }
};

// The same cases for each of the four registers.
class EachRegister : public RegisterTest,
                     public ::testing::WithParamInterface<const qm::RegisterDefinition*> {
protected:
    const qm::RegisterDefinition& def() const { return *GetParam(); }
};

inline std::string registerName(const ::testing::TestParamInfo<const qm::RegisterDefinition*>& info)
{
    return info.param->table.toStdString();
}
