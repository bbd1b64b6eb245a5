// SPDX-License-Identifier: GPL-3.0-or-later

#include "legacy/source_reader.h"

#include "platform/failure.h"

#include <QtEndian>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace legacy {

namespace {

// The messages of the reading process, each a kind, a length and that many bytes.
constexpr char opened = 'C';      // the file is open
constexpr char fileDamaged = 'F'; // text: damage of the whole file
constexpr char declared = 'D';    // table index (1 byte), declared rows (8)
constexpr char headerDone = 'O';
constexpr char refused = 'P';      // text: the file cannot be read at all
constexpr char tableStarts = 'S';  // table index (1 byte)
constexpr char tableMissing = 'M'; //
constexpr char tableDamaged = 'X'; // text: its definition cannot be read
constexpr char tableHeader = 'T';  // declared rows (8), then each column: name (length 4, UTF-8), type, fixed
constexpr char row = 'R';          // each value: null (1), length (4), bytes
constexpr char badRow = 'B';       // rows read (8), text
constexpr char tableEnds = 'E';    // rows read (8)
constexpr char allDone = 'Z';

constexpr int outputFd = 3;
constexpr qsizetype flushAt = 64 * 1024;
constexpr qsizetype maxMessage = 64 * 1024 * 1024;
// A reading process that says nothing for this long is taken for one caught in a loop of damaged pages.
constexpr int silenceLimitMs = 60 * 1000;

class Sender
{
public:
    void send(char kind, const QByteArray& payload = QByteArray())
    {
        m_out.append(kind);
        appendNumber(m_out, static_cast<quint32>(payload.size()));
        m_out.append(payload);
        if (m_out.size() >= flushAt)
            flush();
    }
    // Whatever is sent before a step that may end the process is flushed first, so that the other side knows
    // how far it came.
    void flush()
    {
        const char* at = m_out.constData();
        qsizetype left = m_out.size();
        while (left > 0) {
            const ssize_t written = ::write(outputFd, at, static_cast<size_t>(left));
            if (written < 0 && errno == EINTR)
                continue;
            if (written <= 0)
                ::_exit(71); // the other side is gone
            at += written;
            left -= written;
        }
        m_out.clear();
    }
    template <typename Number> static void appendNumber(QByteArray& to, Number value)
    {
        const Number little = qToLittleEndian(value);
        to.append(reinterpret_cast<const char*>(&little), sizeof little);
    }

private:
    QByteArray m_out;
};

QByteArray withIndex(int index, quint64 count)
{
    QByteArray payload(1, static_cast<char>(index));
    Sender::appendNumber(payload, count);
    return payload;
}

QByteArray counted(quint64 count, const QByteArray& text = QByteArray())
{
    QByteArray payload;
    Sender::appendNumber(payload, count);
    return payload + text;
}

void sendTable(Sender& out, LegacyCatalogue& catalogue, const QString& name)
{
    std::unique_ptr<LegacyTable> table;
    try {
        table = catalogue.table(name);
    } catch (const Damage& damage) {
        out.send(tableDamaged, damage.problem().toUtf8());
        return;
    }
    if (!table) {
        out.send(tableMissing);
        return;
    }
    QByteArray header = counted(table->declaredRows());
    for (int i = 0; i < table->columns().size(); ++i) {
        const QByteArray utf8 = table->columns().at(i).toUtf8();
        Sender::appendNumber(header, static_cast<quint32>(utf8.size()));
        header.append(utf8);
        header.append(static_cast<char>(table->columnKind(i).type));
        header.append(table->columnKind(i).fixed ? '\1' : '\0');
    }
    out.send(tableHeader, header);
    out.flush();
    QByteArray values;
    const int count = static_cast<int>(table->columns().size());
    for (;;) {
        try {
            if (!table->next())
                break;
        } catch (const Damage& damage) {
            out.send(badRow, counted(table->rowsRead(), damage.problem().toUtf8()));
            continue;
        }
        values.clear();
        for (int i = 0; i < count; ++i) {
            values.append(table->isNull(i) ? '\1' : '\0');
            Sender::appendNumber(values, static_cast<quint32>(table->textLength(i)));
            values.append(table->text(i), table->textLength(i));
        }
        out.send(row, values);
    }
    out.send(tableEnds, counted(table->rowsRead()));
}

[[noreturn]] void readInChild(const QString& path, const QStringList& tableNames, int firstTable, unsigned skipped)
{
    Sender out;
    try {
        LegacyCatalogue catalogue(path);
        out.send(opened);
        for (const QString& damage : catalogue.fileDamage())
            out.send(fileDamaged, damage.toUtf8());
        for (int i = 0; i < tableNames.size(); ++i) {
            out.flush();
            const bool touch = i >= firstTable && !(skipped & (1u << i));
            out.send(declared, withIndex(i, touch ? catalogue.declaredRows(tableNames.at(i)) : 0));
        }
        out.send(headerDone);
        for (int i = firstTable; i < tableNames.size(); ++i) {
            if (skipped & (1u << i))
                continue;
            out.send(tableStarts, QByteArray(1, static_cast<char>(i)));
            out.flush();
            sendTable(out, catalogue, tableNames.at(i));
        }
        out.send(allDone);
        out.flush();
        ::_exit(0);
    } catch (const platform::Failure& failure) {
        out.send(refused, failure.text().toUtf8());
        out.flush();
        ::_exit(0);
    } catch (...) {
        ::_exit(70);
    }
}

template <typename Number> Number numberAt(const QByteArray& bytes, qsizetype at)
{
    return qFromLittleEndian<Number>(bytes.constData() + at);
}

} // namespace

SourceReader::SourceReader(const QString& path, const QStringList& tableNames)
    : m_path(path), m_tableNames(tableNames), m_declared(static_cast<std::size_t>(tableNames.size()), 0),
      m_lostDefinitions(static_cast<std::size_t>(tableNames.size()))
{
    while (spawn(0) != Header::Read) {
    }
}

SourceReader::~SourceReader()
{
    finish();
}

void SourceReader::finish()
{
    if (m_child > 0) {
        ::kill(m_child, SIGKILL);
        while (::waitpid(m_child, nullptr, 0) < 0 && errno == EINTR) {
        }
        m_child = -1;
    }
    if (m_pipe >= 0)
        ::close(m_pipe);
    m_pipe = -1;
    m_in.clear();
    m_at = 0;
}

SourceReader::Header SourceReader::spawn(int firstTable)
{
    finish();
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0)
        throw platform::Failure(QStringLiteral("%1: the file cannot be read (%2)")
                                    .arg(m_path, QString::fromLocal8Bit(std::strerror(errno))));
    const pid_t child = ::fork();
    if (child < 0) {
        ::close(ends[0]);
        ::close(ends[1]);
        throw platform::Failure(QStringLiteral("%1: the file cannot be read (%2)")
                                    .arg(m_path, QString::fromLocal8Bit(std::strerror(errno))));
    }
    if (child == 0) {
        // A crash here must end this process only, as the system ends it.
        for (const int signal : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGPIPE})
            std::signal(signal, SIG_DFL);
        if (ends[1] != outputFd)
            ::dup2(ends[1], outputFd);
        // Nothing of the other side's files (its new catalogue, its locks) stays open here.
        ::close_range(outputFd + 1, ~0u, 0);
        readInChild(m_path, m_tableNames, firstTable, m_skipped);
    }
    ::close(ends[1]);
    m_child = child;
    m_pipe = ends[0];

    bool isOpen = false;
    const bool first = !m_headerRead;
    std::size_t counted = 0;
    QByteArray payload;
    for (;;) {
        const char kind = receive(payload);
        switch (kind) {
        case opened:
            isOpen = true;
            if (first)
                m_fileDamage.clear();
            break;
        case fileDamaged:
            if (first)
                m_fileDamage << QString::fromUtf8(payload);
            break;
        case declared:
            if (first)
                m_declared.at(static_cast<unsigned char>(payload.at(0))) = numberAt<quint64>(payload, 1);
            ++counted;
            break;
        case headerDone:
            m_headerRead = true;
            return Header::Read;
        case refused:
            finish();
            throw platform::Failure(QString::fromUtf8(payload));
        case 0:
            if (!isOpen || counted >= m_declared.size() || (m_skipped & (1u << counted)))
                throw platform::Failure(
                    QStringLiteral("%1: the file is damaged (reading it failed: %2)").arg(m_path, m_stopped));
            m_skipped |= 1u << counted;
            m_declared.at(counted) = 0;
            m_lostDefinitions.at(counted) = QStringLiteral("reading its definition failed (%1)").arg(m_stopped);
            return Header::TableFailed;
        default:
            finish();
            throw platform::Failure(QStringLiteral("%1: the file cannot be read (its reading process sent '%2')")
                                        .arg(m_path, QChar::fromLatin1(kind)));
        }
    }
}

bool SourceReader::fill(qsizetype bytes)
{
    if (m_at > 0 && m_at == m_in.size()) {
        m_in.clear();
        m_at = 0;
    }
    while (m_in.size() - m_at < bytes) {
        pollfd wait{m_pipe, POLLIN, 0};
        const int ready = ::poll(&wait, 1, silenceLimitMs);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready == 0) {
            ::kill(m_child, SIGKILL);
            m_stopped = QStringLiteral("its reading went on for a minute without a row");
            return false;
        }
        char block[64 * 1024];
        const ssize_t got = ::read(m_pipe, block, sizeof block);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        if (m_at > 0) {
            m_in.remove(0, m_at);
            m_at = 0;
        }
        m_in.append(block, got);
    }
    return true;
}

char SourceReader::receive(QByteArray& payload)
{
    m_stopped.clear();
    if (m_pipe >= 0 && fill(5)) {
        const char kind = m_in.at(m_at);
        const auto length = static_cast<qsizetype>(numberAt<quint32>(m_in, m_at + 1));
        // No message is longer than a row of the longest values; anything else is a reading process gone wrong.
        if (length > maxMessage)
            ::kill(m_child, SIGKILL);
        else if (fill(5 + length)) {
            payload = m_in.mid(m_at + 5, length);
            m_at += 5 + length;
            return kind;
        }
    }
    // The reading process is gone, or has been stopped: what ended it is what is told.
    const QString stalled = m_stopped;
    int status = 0;
    if (m_child > 0)
        while (::waitpid(m_child, &status, 0) < 0 && errno == EINTR) {
        }
    m_child = -1;
    finish();
    if (!stalled.isEmpty())
        m_stopped = stalled;
    else if (WIFSIGNALED(status))
        m_stopped = QString::fromLocal8Bit(::strsignal(WTERMSIG(status)));
    else if (WIFEXITED(status) && WEXITSTATUS(status) != 0)
        m_stopped = QStringLiteral("it ended with code %1").arg(WEXITSTATUS(status));
    else
        m_stopped = QStringLiteral("it ended early");
    return 0;
}

int SourceReader::columnIndex(const QString& column) const
{
    for (int i = 0; i < m_columns.size(); ++i)
        if (m_columns.at(i).compare(column, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

bool SourceReader::startTable(int index)
{
    // The rows of a table that the caller did not read to its end are passed over.
    QByteArray payload;
    while (m_reading) {
        const char kind = receive(payload);
        m_reading = kind != tableEnds && kind != 0;
    }
    m_table = index;
    m_columns.clear();
    m_tableDeclared = 0;
    m_rowsRead = 0;
    m_stopped.clear();
    const QString& name = m_tableNames.at(index);
    const unsigned bit = 1u << index;
    // After a reading process died in an earlier table, a new one reads on from this table.
    while (m_child < 0 && !(m_skipped & bit))
        spawn(index);
    if (m_skipped & bit)
        throw Damage(m_path, name, m_lostDefinitions.at(static_cast<std::size_t>(index)));
    char kind = receive(payload);
    if (kind == tableStarts && static_cast<unsigned char>(payload.at(0)) == index)
        kind = receive(payload);
    else if (kind != 0)
        throw platform::Failure(
            QStringLiteral("%1: the file cannot be read (its reading process lost its place)").arg(m_path));
    switch (kind) {
    case tableMissing:
        return false;
    case tableDamaged:
        throw Damage(m_path, name, QString::fromUtf8(payload));
    case tableHeader: {
        m_tableDeclared = numberAt<quint64>(payload, 0);
        qsizetype at = 8;
        m_kinds.clear();
        while (at + 4 <= payload.size()) {
            const auto length = static_cast<qsizetype>(numberAt<quint32>(payload, at));
            m_columns << QString::fromUtf8(payload.mid(at + 4, length));
            at += 4 + length;
            m_kinds.push_back({static_cast<unsigned char>(payload.at(at)), payload.at(at + 1) != '\0'});
            at += 2;
        }
        m_starts.assign(static_cast<std::size_t>(m_columns.size()), 0);
        m_lengths.assign(m_starts.size(), 0);
        m_null.assign(m_starts.size(), true);
        m_reading = true;
        return true;
    }
    case 0:
        m_skipped |= bit;
        throw Damage(m_path, name, QStringLiteral("reading its definition failed (%1)").arg(m_stopped));
    default:
        throw platform::Failure(QStringLiteral("%1: the file cannot be read (its reading process sent '%2')")
                                    .arg(m_path, QChar::fromLatin1(kind)));
    }
}

bool SourceReader::next()
{
    if (m_child < 0 || !m_reading)
        return false;
    QByteArray payload;
    switch (receive(payload)) {
    case row: {
        m_row.clear();
        qsizetype at = 0;
        for (std::size_t i = 0; i < m_starts.size(); ++i) {
            if (at + 5 > payload.size())
                throw platform::Failure(
                    QStringLiteral("%1: the file cannot be read (a row came incomplete)").arg(m_path));
            m_null[i] = payload.at(at) != '\0';
            const auto length = static_cast<int>(numberAt<quint32>(payload, at + 1));
            m_starts[i] = static_cast<int>(m_row.size());
            m_lengths[i] = length;
            m_row.append(payload.constData() + at + 5, length);
            m_row.append('\0'); // a number is read up to here
            at += 5 + length;
        }
        ++m_rowsRead;
        return true;
    }
    case badRow:
        m_rowsRead = numberAt<quint64>(payload, 0);
        throw Damage(m_path, m_tableNames.at(m_table), QString::fromUtf8(payload.mid(8)));
    case tableEnds:
        m_rowsRead = numberAt<quint64>(payload, 0);
        m_reading = false;
        return false;
    case 0:
        m_reading = false;
        // The rest of this table is lost; the next one is read by a new process.
        m_skipped |= 1u << m_table;
        m_stopped = QStringLiteral("reading stopped after row %1 (%2); the rest of the table could not be read")
                        .arg(m_rowsRead)
                        .arg(m_stopped);
        return false;
    default:
        throw platform::Failure(
            QStringLiteral("%1: the file cannot be read (its reading process lost its place)").arg(m_path));
    }
}

} // namespace legacy
