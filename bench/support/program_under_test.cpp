// SPDX-License-Identifier: GPL-3.0-or-later

#include "support/program_under_test.h"

#include "localisation/codepage.h"
#include "main_window/category_grid.h"
#include "store/connection_setup.h"
#include "store/kept_order.h"
#include "store/schema.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <sqlite3.h>
#include <stdexcept>

namespace bench {

void idle(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, Qt::PreciseTimer, &loop, &QEventLoop::quit);
    loop.exec();
}

bool runUntil(const std::function<bool()>& done, int limitMs)
{
    // A completion is an event, which wakes the loop at once; the ticker only bounds how late a condition
    // that changes without one is seen.
    QTimer ticker;
    ticker.start(1);
    const Clock::time_point start = Clock::now();
    while (!done()) {
        if (millisecondsSince(start) > limitMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return true;
}

namespace {

// Bumped whenever the generator's rows or the catalogue's schema change, so that a kept catalogue of an older
// kind is not measured (2: the kept order beside the data).
constexpr int generatorEdition = 2;

[[noreturn]] void fail(const QString& text)
{
    throw std::runtime_error(text.toStdString());
}

// Brings a kept catalogue written by an older build up to the current schema and its kept order and text up to
// date, as the program would on opening it, so that the first measurement does not pay for the upgrade.
void upgrade(const QString& path)
{
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK) {
        store::prepareConnection(db);
        store::upgradeSchema(db);
        store::bringKeptOrderUpToDate(db);
    }
    sqlite3_close(db);
}

bool usable(const QString& path, int rows)
{
    if (!QFile::exists(path))
        return false;
    try {
        upgrade(path);
        PlainConnection file(path);
        return file.number(QStringLiteral("PRAGMA user_version")) == store::schemaVersion &&
               file.number(QStringLiteral("SELECT count(*) FROM games")) == rows;
    } catch (const std::exception&) {
        return false;
    }
}

} // namespace

QString catalogueWithRows(int rows)
{
    const QString folder = QDir::tempPath() + QStringLiteral("/mediatar-bench");
    QDir().mkpath(folder);
    const QString path = QStringLiteral("%1/catalogue-e%2-%3.tnx").arg(folder).arg(generatorEdition).arg(rows);
    if (usable(path, rows))
        return path;
    for (const QString& leftover : {path, path + QStringLiteral("-wal"), path + QStringLiteral("-shm")})
        QFile::remove(leftover);
    QProcess tool;
    tool.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    tool.start(QStringLiteral(MEDIATAR_CATALOGUE_TOOL),
               {QStringLiteral("generate"), path, QStringLiteral("--rows"), QString::number(rows)});
    if (!tool.waitForFinished(-1) || tool.exitCode() != 0)
        fail(QStringLiteral("could not generate %1").arg(path));
    return path;
}

ProgramWindow::ProgramWindow(const QString& catalogue) : m_desktop(m_folder.path() + QLatin1Char('/'))
{
    const auto write = [&](const QString& name, const QByteArray& bytes) {
        QFile file(m_folder.filePath(name));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            fail(QStringLiteral("cannot write %1").arg(name));
    };
    QFile language(QStringLiteral(MEDIATAR_SOURCE_DIR "/data/HU_magyar.lng"));
    if (!language.open(QIODevice::ReadOnly))
        fail(QStringLiteral("the shipped language file is missing"));
    write(QStringLiteral("HU_magyar.lng"), language.readAll());
    write(QStringLiteral("list.ini"),
          localisation::encode1250(catalogue + QStringLiteral("\r\nHU_magyar.lng\r\n")).value());
    m_window = std::make_unique<TFoablak>(m_desktop.services());
    m_window->show();
    if (!QTest::qWaitForWindowActive(m_window.get()))
        fail(QStringLiteral("the main window did not come up"));
    if (!errors().isEmpty())
        fail(errors().join(QLatin1Char('\n')));
}

ProgramWindow::~ProgramWindow()
{
    m_window->setAttribute(Qt::WA_DeleteOnClose, false);
    m_window->hide();
}

CategoryGrid* ProgramWindow::grid(int tab) const
{
    return m_window->grid(tab);
}

QLineEdit* ProgramWindow::searchBox() const
{
    return m_window->findChild<QLineEdit*>(QStringLiteral("kereses"));
}

void ProgramWindow::switchToTab(int tab)
{
    m_window->findChild<QTabWidget*>(QStringLiteral("Olvasas"))->setCurrentIndex(tab);
}

void ProgramWindow::paint(CategoryGrid* grid)
{
    grid->viewport()->repaint();
}

void ProgramWindow::waitUntilComplete()
{
    // Asleep between events: the time goes to the search's worker, as it does for a user who waits.
    if (!runUntil([this] { return !m_window->browseQuery().isPending(); }, 600000))
        fail(QStringLiteral("a search never completed"));
}

QStringList ProgramWindow::errors() const
{
    return m_desktop.errors.reports;
}

PlainConnection::PlainConnection(const QString& catalogue)
{
    if (sqlite3_open_v2(catalogue.toUtf8().constData(), &m_db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
        fail(QString::fromUtf8(sqlite3_errmsg(m_db)));
}

PlainConnection::~PlainConnection()
{
    sqlite3_close(m_db);
}

PlainConnection::Result PlainConnection::list(const QString& sql, bool lastScreen) const
{
    return run(sql, {}, lastScreen);
}

PlainConnection::Result PlainConnection::list(const QString& sql, const QStringList& values) const
{
    return run(sql, values, false);
}

PlainConnection::Result PlainConnection::run(const QString& sql, const QStringList& values, bool lastScreen) const
{
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(m_db, sql.toUtf8().constData(), -1, &statement, nullptr) != SQLITE_OK)
        fail(QString::fromUtf8(sqlite3_errmsg(m_db)) + QStringLiteral(" in ") + sql);
    for (int i = 0; i < values.size(); ++i) {
        const QByteArray value = values.at(i).toUtf8();
        sqlite3_bind_text(statement, i + 1, value.constData(), static_cast<int>(value.size()), SQLITE_TRANSIENT);
    }
    Result result;
    const int columns = sqlite3_column_count(statement);
    int rc;
    while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
        if (lastScreen || result.count < screenRows) {
            if (lastScreen && result.screen.size() == screenRows * columns)
                result.screen.erase(result.screen.begin(), result.screen.begin() + columns);
            for (int i = 0; i < columns; ++i)
                result.screen << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(statement, i)));
        }
        ++result.count;
    }
    sqlite3_finalize(statement);
    if (rc != SQLITE_DONE)
        fail(QString::fromUtf8(sqlite3_errmsg(m_db)));
    return result;
}

qint64 PlainConnection::number(const QString& sql) const
{
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(m_db, sql.toUtf8().constData(), -1, &statement, nullptr) != SQLITE_OK)
        fail(QString::fromUtf8(sqlite3_errmsg(m_db)));
    const qint64 value = sqlite3_step(statement) == SQLITE_ROW ? sqlite3_column_int64(statement, 0) : -1;
    sqlite3_finalize(statement);
    return value;
}

qint64 peakResidentBytes()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong() * 1024;
    }
    return -1;
}

} // namespace bench
