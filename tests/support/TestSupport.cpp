// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestSupport.h"

#include "platform/AppPaths.h"
#include "catalog/store/Store.h"
#include "platform/Clipboard.h"
#include "platform/MessageBox.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <SQLiteCpp/Statement.h>

#include <utility>

namespace qmtest {
namespace {
bool questionAnswer = true;
}

QStringList& messages()
{
    static QStringList m;
    return m;
}

::testing::AssertionResult toldOnce(const QString& part)
{
    const QStringList shown = std::exchange(messages(), {});
    if (shown.size() == 1 && shown.first().contains(part))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "one message with \"" << part.toStdString()
                                         << "\" expected, shown: " << shown.join(u'|').toStdString();
}

void answerQuestions(bool yes)
{
    questionAnswer = yes;
}

qm::MemoryClipboard& testClipboard()
{
    static qm::MemoryClipboard c;
    return c;
}

void flushDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

Outcome captured(const std::function<int()>& command)
{
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    const int status = command();
    const std::string out = ::testing::internal::GetCapturedStdout();
    return {status, QString::fromStdString(out),
        QString::fromStdString(::testing::internal::GetCapturedStderr())};
}

Outcome runProgram(const QString& program, const QStringList& args, const QString& folder,
    const QProcessEnvironment& environment, const std::function<void()>& inChild)
{
    QProcess p;
    p.setWorkingDirectory(folder);
    p.setProcessEnvironment(environment);
    if (inChild)
        p.setChildProcessModifier(inChild);
    p.start(program, args);
    Outcome o;
    if (!p.waitForFinished(120000)) {
        o.err = program + QStringLiteral(" did not run: ") + p.errorString();
        return o;
    }
    o.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    o.out = QString::fromLocal8Bit(p.readAllStandardOutput());
    o.err = QString::fromLocal8Bit(p.readAllStandardError());
    return o;
}

void StoreTest::SetUp()
{
    dir_ = std::make_unique<QTemporaryDir>();
    ASSERT_TRUE(dir_->isValid());
    previousCurrent_ = QDir::currentPath();
    QDir::setCurrent(dir_->path());
    qm::setProgramFolder(dir_->path());
    // The user's own folders are the test's, never the real ones.
    previousConfig_ = qgetenv("XDG_CONFIG_HOME");
    previousData_ = qgetenv("XDG_DATA_HOME");
    previousCache_ = qgetenv("XDG_CACHE_HOME");
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(pathOf(QStringLiteral("config"))));
    qputenv("XDG_DATA_HOME", QFile::encodeName(pathOf(QStringLiteral("data"))));
    qputenv("XDG_CACHE_HOME", QFile::encodeName(pathOf(QStringLiteral("cache"))));
    ASSERT_EQ(qm::Store::create(storePath()), QString());
    messages().clear();
    testClipboard().Clear();
    answerQuestions(true);
}

void StoreTest::TearDown()
{
    db_.reset();
    QDir::setCurrent(previousCurrent_);
    qm::setProgramFolder({});
    qm::setNameFile({});
    qm::setDatabaseFile({});
    qputenv("XDG_CONFIG_HOME", previousConfig_);
    qputenv("XDG_DATA_HOME", previousData_);
    qputenv("XDG_CACHE_HOME", previousCache_);
    dir_.reset();
}

SQLite::Database& StoreTest::db()
{
    if (!db_) {
        db_ = std::make_unique<SQLite::Database>(storePath().toStdString(), SQLite::OPEN_READWRITE);
        db_->setBusyTimeout(5000);
    }
    return *db_;
}

long long StoreTest::addRecord(const QString& id, const QString& parent, const QString& dbaseName,
    const QString& fileName, const QString& path, const QString& size, const QString& date,
    const QString& delKey)
{
    SQLite::Statement st(db(),
        "INSERT INTO main (ID, Parent, dbaseName, file_name, path, size, date, "
        "delKey) VALUES (?,?,?,?,?,?,?,?)");
    const QString values[] = {id, parent, dbaseName, fileName, path, size, date, delKey};
    for (int i = 0; i < 8; ++i)
        st.bind(i + 1, values[i].toStdString());
    st.exec();
    return db().getLastInsertRowid();
}

long long StoreTest::count(const QString& sqlCondition, const QString& table)
{
    const QString where = sqlCondition.isEmpty() ? QString() : QStringLiteral(" WHERE ") + sqlCondition;
    return db()
        .execAndGet(QStringLiteral("SELECT count(*) FROM \"%1\"%2").arg(table, where).toStdString())
        .getInt64();
}

QStringList StoreTest::texts(const QString& sql)
{
    QStringList out;
    SQLite::Statement st(db(), sql.toStdString());
    while (st.executeStep())
        out << (st.getColumn(0).isNull() ? QStringLiteral("<null>")
                                         : QString::fromStdString(st.getColumn(0)));
    return out;
}

QByteArray StoreTest::readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

QString StoreTest::makeDir(const QString& relativePath)
{
    const QString p = pathOf(relativePath);
    QDir().mkpath(p);
    return p;
}

QString StoreTest::makeFile(const QString& relativePath, qint64 bytes)
{
    const QString p = makeFile(relativePath, QByteArray());
    EXPECT_TRUE(QFile(p).resize(bytes)) << p.toStdString();
    return p;
}

QString StoreTest::makeFile(const QString& relativePath, const QByteArray& content)
{
    const QString p = pathOf(relativePath);
    QDir().mkpath(QFileInfo(p).path());
    QFile f(p);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly)) << p.toStdString();
    f.write(content);
    return p;
}

} // namespace qmtest

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    qm::setClipboard(&qmtest::testClipboard());
    qm::setMessageHook([](const QString& text) { qmtest::messages() << text; });
    qm::setQuestionHook([](const QString& text) {
        qmtest::messages() << text;
        return qmtest::questionAnswer;
    });
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
