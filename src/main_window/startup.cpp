// SPDX-License-Identifier: GPL-3.0-or-later

#include "main_window/main_window.h"

#include "engine/categories.h"
#include "engine/location.h"
#include "legacy/legacy_catalogue.h"
#include "localisation/codepage.h"
#include "main_window/category_grid.h"
#include "platform/failure.h"
#include "platform/folders.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QStringDecoder>
#include <QTabWidget>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString settingsFileName = QStringLiteral("list.ini");
const QString settingsTempName = QStringLiteral("ini.tmp");
const QString defaultLanguageFile = QStringLiteral("HU_magyar.lng");
// Opens a list.ini written in UTF-8, for a catalogue path that code page 1250 cannot hold. A file without it
// is read in code page 1250, as every older list.ini is.
const QByteArray utf8Mark = QByteArrayLiteral("\xEF\xBB\xBF");
// Two lines of paths; anything longer is no settings file of ours.
constexpr qint64 settingsReadLimit = 1 << 16;

QString systemText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

struct SettingsBytes
{
    bool exists = false;
    QByteArray bytes;
    QString problem; // why an existing file could not be read
};

// Reads list.ini without ever waiting: a FIFO or a device in its place is refused before a byte is read.
// POSIX calls rather than QFile, which would block opening a FIFO.
SettingsBytes readSettingsBytes(const QString& path)
{
    SettingsBytes result;
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        result.exists = errno != ENOENT;
        result.problem = systemText(errno);
        return result;
    }
    result.exists = true;
    struct stat info = {};
    if (::fstat(fd, &info) != 0) {
        result.problem = systemText(errno);
    } else if (S_ISDIR(info.st_mode)) {
        result.problem = QStringLiteral("ez egy mappa, nem file");
    } else if (!S_ISREG(info.st_mode)) {
        result.problem = QStringLiteral("ez nem közönséges file");
    } else {
        char buffer[4096];
        while (result.bytes.size() < settingsReadLimit) {
            const ssize_t got = ::read(fd, buffer, sizeof buffer);
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0) {
                result.problem = systemText(errno);
                break;
            }
            if (got == 0)
                break;
            result.bytes.append(buffer, static_cast<qsizetype>(got));
        }
    }
    ::close(fd);
    return result;
}

// A line of a list.ini without the UTF-8 mark. A server catalogue's URI written there by hand comes in UTF-8
// more often than not (libpq and every other client take it so), and code page 1250 would garble its accented
// database or user name; text in code page 1250 with an accented letter is hardly ever valid UTF-8, so a
// URI that is valid UTF-8 is read as such.
QString decodeSettingsLine(const QByteArray& line)
{
    if (engine::Location::namesServer(QString::fromLatin1(line.left(16)))) {
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString text = utf8.decode(line);
        if (!utf8.hasError())
            return text;
    }
    return localisation::decode1250(line);
}

QStringList decodeSettings(const QByteArray& bytes)
{
    if (bytes.startsWith(utf8Mark))
        return QString::fromUtf8(bytes.mid(utf8Mark.size())).split(QLatin1Char('\n'));
    QStringList lines;
    for (const QByteArray& line : bytes.split('\n'))
        lines.append(decodeSettingsLine(line));
    return lines;
}

QByteArray encodeSettings(const QString& text)
{
    // Code page 1250 as ever while it can hold the text, so older copies of the program read the file too.
    if (const std::optional<QByteArray> bytes = localisation::encode1250(text))
        return *bytes;
    return utf8Mark + text.toUtf8();
}

// Why a server catalogue cannot be opened: what the server's text means, then the text itself. The URI is
// shown without its password.
QString serverOpenFailureText(const QString& uri, const QString& given)
{
    // The server's text may name the URI it was given; it is shown as everywhere else.
    QString detail = given;
    detail.replace(uri, engine::Location(uri).shownName());
    QString reason = platform::explainOriginal(detail);
    if (reason.isEmpty())
        reason = QStringLiteral("A szerver nem érhető el, vagy az adatbázis nem Médiatár-katalógus.");
    QString text =
        QStringLiteral("A katalógus nem nyitható meg:\r%1\r%2").arg(engine::Location(uri).shownName(), reason);
    if (platform::isForeignText(detail))
        text += QStringLiteral("\r\rEredeti üzenet: ") + detail;
    else if (!detail.isEmpty())
        text += QStringLiteral("\r\r") + detail;
    return text;
}

// Why a catalogue cannot be opened, in Hungarian, with the engine's or the system's text after it.
QString openFailureText(const QString& path, const QString& detail)
{
    if (!path.isEmpty() && engine::Location(path).localFile().isEmpty())
        return serverOpenFailureText(path, detail);
    const QFileInfo info(path);
    // What the file itself tells comes first; for a file that is there, what the engine's text means.
    const bool foreign = platform::isForeignText(detail);
    QString reason;
    if (!info.exists())
        reason = QStringLiteral("A file nem létezik.");
    else if (info.isDir())
        reason = QStringLiteral("Ez egy mappa, nem file.");
    else if (!info.isFile())
        reason = QStringLiteral("Ez nem közönséges file.");
    else if (foreign && !platform::explainOriginal(detail).isEmpty())
        reason = platform::explainOriginal(detail);
    else if (!platform::isWritableFolder(info.absolutePath()))
        reason = QStringLiteral("A file írásvédett helyen van, vagy nem Médiatár-katalógus.");
    else
        reason = QStringLiteral("A file nem Médiatár-katalógus, sérült, vagy nem olvasható.");
    QString text = QStringLiteral("A katalógus nem nyitható meg:\r%1\r%2").arg(path, reason);
    // The engine's or the system's own text goes last, so that it can still be looked up; a message of the
    // program's own (no catalogue, read-only) is shown as it stands.
    if (foreign)
        text += QStringLiteral("\r\rEredeti üzenet: ") + detail;
    else if (!detail.isEmpty())
        text += QStringLiteral("\r\r") + detail;
    return text;
}

// Opens a catalogue on a connection of its own and prepares the album list on it, reading no row: what
// would fail in the real list (no database, no album table, no file) fails here, before anything of the open
// catalogue is given up. Throws the engine's text.
void tryCatalogue(const QString& path, quintptr tag, const engine::PasswordSource& passwords,
                  platform::Waiting& waiting)
{
    catalogue::QueryChannel trial(QStringLiteral("trial_%1").arg(tag));
    trial.setPasswordSource(passwords);
    trial.setWaiting(&waiting);
    trial.pointAt(path);
    engine::Statement probe = engine::category(0).select();
    probe.fixed(QStringLiteral(" LIMIT 0"));
    trial.setStatement(probe);
    trial.open();
}

} // namespace

void TFoablak::FormCreate()
{
    startAborted = false;
    programDir = m_services.programDirectory.path();
    // The start widths come first, so that every list shown later has them, however its catalogue is reached.
    setStartWidths();
    readSettingsFile();
    chooseStartCatalogue();
    LoadLanguage();
    if (startAborted)
        return;
    if (!languageVersionOk) {
        const QString question = QStringLiteral("A nyelvi file nem megfelelő verziószámú!\rEz azt eredményezi, hogy "
                                                "nem lesz\rminden lefordítva! Folytatod?");
        startAborted = m_services.prompts.confirm(question) != platform::Answer::Yes;
    }
    selectTabQuietly(0);
    const QString path = OpenDialog1.fileName;
    try {
        pointChannelsAt(path);
        m_kereses->clear();
        m_browseQuery.setStatement(engine::category(0).browseStatement());
        m_browseQuery.open();
        connectChannels();
        OlvasasChange();
    } catch (const platform::Failure& failure) {
        // The way on from a catalogue that cannot be listed is another one.
        m_services.errors.report(openFailureText(m_browseQuery.cataloguePath(), failure.text()));
        forgetServerPassword(m_browseQuery.cataloguePath());
        m_browseQuery.pointAt(QString());
        m_detailQuery.pointAt(QString());
        OpenDialog1.fileName.clear();
        if (!startAborted)
            openClick();
        if (startAborted || !m_browseQuery.isOpen())
            return;
    }
    fillSearchColumns({124, 125});
    m_keresesoszlop->setCurrentIndex(-1); // the first activation selects the first
    showCount(m_browseQuery.recordCount());
    if (m_browseQuery.recordCount() >= 1)
        m_grids[0]->setColumnWidths(columnWidths[0]);
    setWindowTitleFromSlot();
    m_editState.albumGridActive = true;
    FormResize();
}

void TFoablak::setStartWidths()
{
    for (int tab = 0; tab < engine::dataCategoryCount; ++tab) {
        std::vector<int>& widths = columnWidths[static_cast<std::size_t>(tab)];
        widths.clear();
        for (const engine::GridColumn& column : engine::category(tab).columns)
            widths.push_back(column.startWidth);
    }
    std::vector<int> trackWidths;
    for (const engine::GridColumn& column : engine::trackColumns())
        trackWidths.push_back(column.startWidth);
    m_trackGrid->setColumnWidths(trackWidths);
}

void TFoablak::readSettingsFile()
{
    // Beside the program when its folder can be written (a copy in a folder of its own), otherwise in the
    // user's configuration folder (an installed program, a read-only share). A read-only program folder's
    // own list.ini still gives the first start there its settings.
    settingsDir = m_services.programDirectory.isWritable() ? programDir : platform::userSettingsFolder();
    QString path = settingsDir + settingsFileName;
    SettingsBytes read = readSettingsBytes(path);
    if (!read.exists && settingsDir != programDir) {
        path = programDir + settingsFileName;
        read = readSettingsBytes(path);
    }
    // No list.ini means the defaults: the shipped language file and no catalogue yet.
    lastCatalogue.clear();
    languageFile = defaultLanguageFile;
    if (!read.exists)
        return;
    if (!read.problem.isEmpty()) {
        m_services.prompts.information(QStringLiteral("A beállítások file-ja nem olvasható:\r%1\r(%2)\r\rA program "
                                                      "az alapbeállításokkal indul; a kilépéskor új file készül.")
                                           .arg(path, read.problem));
        return;
    }
    // A line ends at LF or at CR LF; the text before it is the value, unchanged.
    const QStringList lines = decodeSettings(read.bytes);
    auto line = [&lines](int index) {
        QString value = lines.value(index);
        if (value.endsWith(QLatin1Char('\r')))
            value.chop(1);
        return value;
    };
    lastCatalogue = line(0);
    languageFile = line(1);
    if (languageFile.isEmpty())
        languageFile = defaultLanguageFile;
    // A password written into the URI by hand serves this start only: the file goes without it at once, whether
    // the start succeeds or not, since anyone who may read the folder may read the file.
    if (engine::Location(lastCatalogue).carriesPassword()) {
        try {
            writeSettings(engine::Location(lastCatalogue).rememberedName());
        } catch (const platform::Failure&) {
            // A folder that cannot be written keeps its file as it is; the close tries again.
        }
    }
}

void TFoablak::chooseStartCatalogue()
{
    if (!m_namedCatalogue.isEmpty()) {
        try {
            OpenDialog1.fileName = catalogueToOpen(m_namedCatalogue);
            return;
        } catch (const platform::Failure& failure) {
            // The catalogue of list.ini is the way on.
            m_services.errors.report(failure.text());
        }
    }
    bool lastFailed = false;
    // A server catalogue is no file to look for: whether it is there, only the server can tell.
    if (engine::Location(lastCatalogue).mayBeThere()) {
        try {
            OpenDialog1.fileName = catalogueToOpen(lastCatalogue);
            return;
        } catch (const platform::Failure& failure) {
            m_services.errors.report(failure.text());
            lastFailed = true;
        }
    }
    // No catalogue yet: the open dialog, then its question.
    OpenDialog1.fileName.clear();
    openClick();
    // A catalogue that is there but could not be opened (a medium not writable yet, a file being mended, a
    // server not reachable today) is still remembered when the user opens no other.
    if (startAborted && lastFailed)
        OpenDialog1.fileName = lastCatalogue;
}

QStringList TFoablak::rememberedServers() const
{
    QStringList servers = m_openedServers;
    const QString last = engine::Location(lastCatalogue).rememberedName();
    if (engine::Location::namesServer(last) && !servers.contains(last))
        servers.append(last);
    return servers;
}

QString TFoablak::catalogueToOpen(const QString& chosen)
{
    if (engine::Location(chosen).mayAskPassword()) {
        for (;;) {
            const int promptsBefore = m_passwordPrompts;
            try {
                tryCatalogue(chosen, quintptr(this), passwordSource(), m_services.waiting);
                const QString remembered = engine::Location(chosen).rememberedName();
                m_openedServers.removeAll(remembered);
                m_openedServers.prepend(remembered);
                return chosen;
            } catch (const platform::Failure& failure) {
                // A refused password is never sent once more.
                forgetServerPassword(chosen);
                // One the user typed and the server refused is asked for again, for the same catalogue, until
                // it is let in or the user gives up (Mégse); a wrong password written in the URI is not asked.
                if (m_passwordPrompts > promptsBefore &&
                    failure.text().contains(QLatin1String("password authentication failed"))) {
                    m_passwordRefused = true;
                    continue;
                }
                throw platform::Failure(openFailureText(chosen, failure.text()));
            }
        }
    }
    const QFileInfo info(chosen);
    // Only a plain file is opened: a FIFO or a device would hold the window up for ever.
    if (info.exists() && !info.isFile())
        throw platform::Failure(openFailureText(chosen, QString()));
    QString target = chosen;
    const QString current = OpenDialog1.fileName;
    if (info.exists() && legacy::fileKind(chosen) == legacy::FileKind::Jet) {
        // The conversion question as for any legacy file; on Yes the converted copy is the one to open.
        OpenDialog1.fileName = chosen;
        try {
            offerLegacyConversion(chosen);
        } catch (const platform::Failure&) {
            OpenDialog1.fileName = current;
            throw;
        }
        target = OpenDialog1.fileName;
        OpenDialog1.fileName = current;
    }
    try {
        tryCatalogue(target, quintptr(this), passwordSource(), m_services.waiting);
    } catch (const platform::Failure& failure) {
        throw platform::Failure(openFailureText(target, failure.text()));
    }
    return target;
}

void TFoablak::openClick()
{
    // The catalogue open now stays open, listed and remembered until another one has been opened.
    const QString previous = m_browseQuery.isConnected() ? OpenDialog1.fileName : QString();
    const QString kept = OpenDialog1.fileName;
    QString failed;
    for (;;) {
        for (;;) {
            const QString startAt = OpenDialog1.fileName.isEmpty() ? failed : OpenDialog1.fileName;
            // A server catalogue's URI goes into the dialog without its password; a cancel keeps the catalogue
            // open, a file or on a server.
            const QString startShown = engine::Location(startAt).rememberedName();
            QString chosen = m_services.files.chooseFile(startShown, OpenDialog::filter, rememberedServers());
            if (chosen == startShown)
                chosen = startAt;
            // A cancelled dialog gives back where it started: after a failure that is no choice.
            if (!failed.isEmpty() && chosen == failed)
                chosen.clear();
            OpenDialog1.fileName = chosen;
            if (!OpenDialog1.fileName.isEmpty())
                break;
            m_services.beeper.beep();
            if (m_services.prompts.confirm(QStringLiteral("Nem nyitottál meg file-t. Megnyitsz egyet?")) !=
                platform::Answer::Yes) {
                startAborted = true;
                break;
            }
        }
        if (startAborted) {
            OpenDialog1.fileName = previous;
            return;
        }
        const QString chosen = OpenDialog1.fileName;
        // An edit belongs to the catalogue it was opened on: it ends before another one is opened, and the user
        // who keeps what they typed keeps that catalogue open with it.
        if (!m_editState.endEditFor(chosen)) {
            OpenDialog1.fileName = kept;
            return;
        }
        try {
            const QString target = catalogueToOpen(chosen);
            showCatalogue(target);
            return;
        } catch (const platform::Failure& failure) {
            OpenDialog1.fileName = previous;
            if (!previous.isEmpty()) {
                // A conversion may have taken the channels already: they go back to the catalogue kept.
                if (m_browseQuery.cataloguePath() != previous)
                    showCatalogue(previous);
                // The text says already what failed and why, the server's words included.
                throw platform::Failure::told(failure.text() + QStringLiteral("\r\rAz eddigi katalógus marad nyitva."));
            }
            m_services.errors.report(failure.text());
            failed = chosen;
        }
    }
}

void TFoablak::showCatalogue(const QString& path)
{
    OpenDialog1.fileName = path;
    selectTabQuietly(0);
    pointChannelsAt(path);
    m_kereses->clear();
    m_browseQuery.setStatement(engine::category(0).browseStatement());
    OlvasasChange();
    connectChannels();
    m_grids[0]->setColumnWidths(columnWidths[0]);
    setWindowTitleFromSlot();
}

void TFoablak::FormActivate()
{
    if (startAborted)
        close();
    if (m_keresesoszlop->count() > 0)
        m_keresesoszlop->setCurrentIndex(0);
    placeGridsAndLabels();
}

void TFoablak::placeGridsAndLabels()
{
    m_grids[0]->move(16, 35);
    m_trackGrid->move(312, 35);
    for (int tab = 1; tab < engine::categoryCount; ++tab)
        m_grids[static_cast<std::size_t>(tab)]->move(16, 16);
    for (QLabel* label : m_emptyLabels)
        label->move(m_olvasas->width() / 2 - 91, m_olvasas->height() / 2 - 10);
    m_eloadoLabel->move(16, 6);
    m_albumLabel->move(312, 6);
}

void TFoablak::KilepesClick()
{
    if (!saveSettingsOrAskToLeave())
        return;
    m_leaveWithoutSaving = true; // saved, or the user chose to leave without: the close asks nothing more
    if (!close())
        m_leaveWithoutSaving = false;
}

bool TFoablak::FormClose()
{
    return saveSettingsOrAskToLeave();
}

bool TFoablak::saveSettingsOrAskToLeave()
{
    QString problem;
    try {
        saveSettings();
        return true;
    } catch (const platform::Failure& failure) {
        problem = failure.text();
    }
    // The system's own text ("Is a directory") comes after "Eredeti üzenet:", with its meaning before it, as in
    // every other report; a message of the program's own is shown as it stands.
    const QString couldNotSave = QStringLiteral("A beállításokat nem sikerült elmenteni:");
    const QString told = platform::isForeignText(problem) ? platform::failureReport(couldNotSave, problem)
                                                          : couldNotSave + QStringLiteral("\r") + problem;
    const QString question = told + QStringLiteral("\r\rKilépsz mentés nélkül?");
    return m_services.prompts.confirm(question) == platform::Answer::Yes;
}

void TFoablak::saveSettings()
{
    // A server catalogue is remembered without its password: that comes from libpq's own sources or the
    // password prompt at the next start.
    lastCatalogue = shownCatalogueName();
    writeSettings(lastCatalogue);
}

void TFoablak::writeSettings(const QString& catalogue)
{
    if (settingsDir.isEmpty())
        settingsDir = programDir;
    const QString tempPath = settingsDir + settingsTempName;
    const QString settingsPath = settingsDir + settingsFileName;
    const QByteArray bytes = encodeSettings(catalogue + QStringLiteral("\r\n") + languageFile + QStringLiteral("\r\n"));
    if (!QDir().mkpath(settingsDir))
        throw platform::Failure(QStringLiteral("%1: %2").arg(settingsDir, systemText(errno)));
    // The new settings are written whole and flushed before they replace the old file in one rename,
    // so that no moment exists without a complete list.ini. Whatever lies in the temporary file's place
    // (a FIFO, a link) goes first: the write must neither wait nor land elsewhere.
    QFile::remove(tempPath);
    QFile temp(tempPath);
    if (!temp.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw platform::Failure(QStringLiteral("%1: %2").arg(tempPath, temp.errorString()));
    if (temp.write(bytes) != bytes.size() || !temp.flush() || ::fsync(temp.handle()) != 0) {
        const QString text = QStringLiteral("%1: %2").arg(
            tempPath, temp.error() != QFileDevice::NoError ? temp.errorString() : systemText(errno));
        temp.close();
        QFile::remove(tempPath);
        throw platform::Failure(text);
    }
    temp.close();
    if (std::rename(QFile::encodeName(tempPath).constData(), QFile::encodeName(settingsPath).constData()) != 0) {
        const QString text = QStringLiteral("%1: %2").arg(settingsPath, systemText(errno));
        QFile::remove(tempPath);
        throw platform::Failure(text);
    }
    QFile::remove(tempPath);
}

QString TFoablak::languageFilePath() const
{
    // Beside the program first (a copy run from its own folder), then the installed data folder.
    const QString beside = QDir(programDir).filePath(languageFile);
    if (QFileInfo(beside).isFile())
        return beside;
    const QString installed = QDir(platform::installedDataFolder(programDir)).filePath(languageFile);
    if (QFileInfo(installed).isFile())
        return installed;
    return beside;
}

void TFoablak::pointChannelsAt(const QString& path)
{
    keepServerPasswordOnlyFor(path);
    m_browseQuery.pointAt(path);
    m_detailQuery.pointAt(path);
    if (engine::Location(path).localFile() == path)
        offerLegacyConversion(path);
}

void TFoablak::connectChannels()
{
    m_browseQuery.connect();
    m_detailQuery.connect();
}

void TFoablak::setWindowTitleFromSlot()
{
    // The title says the name as the user reads it; list.ini keeps a URI as it was given.
    const QString shown = engine::Location(OpenDialog1.fileName).readableName();
    setWindowTitle(m_textSlots.text(1) + QLatin1Char(' ') + shown);
}

QString TFoablak::shownCatalogueName() const
{
    const QString& name = OpenDialog1.fileName;
    return engine::Location(name).shownName();
}
