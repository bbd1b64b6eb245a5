#include "main_window/main_window.h"

#include "localisation/codepage.h"
#include "main_window/category_grid.h"
#include "platform/failure.h"
#include "store/categories.h"

#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QTabWidget>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

const QString settingsFileName = QStringLiteral("list.ini");
const QString settingsTempName = QStringLiteral("ini.tmp");
const QString defaultLanguageFile = QStringLiteral("HU_magyar.lng");

QString systemText(const QString& path)
{
    return QStringLiteral("%1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
}

} // namespace

void TFoablak::FormCreate()
{
    startAborted = false;
    programDir = m_services.programDirectory.path();
    if (QFileInfo::exists(programDir + settingsFileName))
        readSettingsFile();
    LoadLanguage();
    if (startAborted)
        return;
    if (!languageVersionOk) {
        const QString question = QStringLiteral("A nyelvi file nem megfelelő verziószámú!\rEz azt eredményezi, hogy "
                                                "nem lesz\rminden lefordítva! Folytatod?");
        startAborted = m_services.prompts.confirm(question) != platform::Answer::Yes;
    }
    selectTabQuietly(0);
    pointChannelsAt(OpenDialog1.fileName);
    m_kereses->clear();
    m_browseQuery.setStatement(store::category(0).browseStatement());
    m_browseQuery.open();
    connectChannels();
    OlvasasChange();
    fillSearchColumns({124, 125});
    m_keresesoszlop->setCurrentIndex(-1); // the first activation selects the first
    showCount(m_browseQuery.recordCount());
    columnWidths[0] = {150, 200};
    if (m_browseQuery.recordCount() >= 1)
        m_grids[0]->setColumnWidths(columnWidths[0]);
    setWindowTitleFromSlot();
    std::vector<int> trackWidths;
    for (const store::GridColumn& column : store::trackColumns())
        trackWidths.push_back(column.startWidth);
    m_trackGrid->setColumnWidths(trackWidths);
    for (int tab = 1; tab < store::dataCategoryCount; ++tab) {
        std::vector<int>& widths = columnWidths[static_cast<std::size_t>(tab)];
        widths.clear();
        for (const store::GridColumn& column : store::category(tab).columns)
            widths.push_back(column.startWidth);
    }
    albumGridActive = true;
    FormResize();
}

void TFoablak::readSettingsFile()
{
    QFile file(programDir + settingsFileName);
    if (QFileInfo(file.fileName()).isDir() || !file.open(QIODevice::ReadOnly))
        throw platform::Failure(QStringLiteral("%1: %2").arg(
            file.fileName(), file.isOpen() ? file.errorString() : QStringLiteral("Cannot open file")));
    // A line ends at LF or at CR LF; the text before it is the value, unchanged.
    auto readLine = [&file]() {
        QByteArray line = file.readLine();
        if (line.endsWith('\n'))
            line.chop(1);
        if (line.endsWith('\r'))
            line.chop(1);
        return localisation::decode1250(line);
    };
    lastCatalogue = readLine();
    languageFile = readLine();
    if (languageFile.isEmpty())
        languageFile = defaultLanguageFile;
    if (!lastCatalogue.isEmpty() && QFileInfo(lastCatalogue).isFile())
        OpenDialog1.fileName = lastCatalogue;
    else
        openClick();
}

void TFoablak::openClick()
{
    for (;;) {
        m_browseQuery.disconnect();
        m_detailQuery.disconnect();
        OpenDialog1.fileName = m_services.files.chooseFile(OpenDialog1.fileName, OpenDialog::filter);
        if (!OpenDialog1.fileName.isEmpty())
            break;
        m_services.beeper.beep();
        if (m_services.prompts.confirm(QStringLiteral("Nem nyitottál meg file-t. Megnyitsz egyet?")) !=
            platform::Answer::Yes) {
            startAborted = true;
            break;
        }
    }
    if (startAborted)
        return;
    selectTabQuietly(0);
    pointChannelsAt(OpenDialog1.fileName);
    m_kereses->clear();
    m_browseQuery.setStatement(store::category(0).browseStatement());
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
    m_olvasas->setTabVisible(7, false);
    m_olvasas->setTabVisible(6, false);
    placeGridsAndLabels();
}

void TFoablak::placeGridsAndLabels()
{
    m_grids[0]->move(16, 35);
    m_trackGrid->move(312, 35);
    for (int tab = 1; tab < store::categoryCount; ++tab)
        m_grids[static_cast<std::size_t>(tab)]->move(16, 16);
    for (QLabel* label : m_emptyLabels)
        label->move(m_olvasas->width() / 2 - 91, m_olvasas->height() / 2 - 10);
    m_eloadoLabel->move(16, 6);
    m_albumLabel->move(312, 6);
}

void TFoablak::KilepesClick()
{
    saveSettings();
    close();
}

void TFoablak::FormClose()
{
    saveSettings();
}

void TFoablak::saveSettings()
{
    const QString tempPath = programDir + settingsTempName;
    const QString settingsPath = programDir + settingsFileName;
    lastCatalogue = OpenDialog1.fileName;
    const QString content = lastCatalogue + QStringLiteral("\r\n") + languageFile + QStringLiteral("\r\n");
    const std::optional<QByteArray> bytes = localisation::encode1250(content);
    if (!bytes)
        throw platform::Failure(QStringLiteral("%1: a katalógus útvonala olyan karaktert tartalmaz, amelyet a "
                                               "beállítási fájl nem tud tárolni.")
                                    .arg(settingsPath));
    // The new settings are written whole and flushed before they replace the old file in one rename,
    // so that no moment exists without a complete list.ini.
    QFile temp(tempPath);
    if (!temp.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw platform::Failure(QStringLiteral("%1: %2").arg(tempPath, temp.errorString()));
    if (temp.write(*bytes) != bytes->size() || !temp.flush() || ::fsync(temp.handle()) != 0) {
        const QString text = QStringLiteral("%1: %2").arg(tempPath, temp.errorString());
        temp.close();
        QFile::remove(tempPath);
        throw platform::Failure(text);
    }
    temp.close();
    if (std::rename(QFile::encodeName(tempPath).constData(), QFile::encodeName(settingsPath).constData()) != 0) {
        const QString text = systemText(settingsPath);
        QFile::remove(tempPath);
        throw platform::Failure(text);
    }
    QFile::remove(tempPath);
}

void TFoablak::pointChannelsAt(const QString& path)
{
    m_browseQuery.pointAt(path);
    m_detailQuery.pointAt(path);
    offerLegacyConversion(path);
}

void TFoablak::connectChannels()
{
    m_browseQuery.connect();
    m_detailQuery.connect();
}

void TFoablak::setWindowTitleFromSlot()
{
    setWindowTitle(m_textSlots.text(1) + QLatin1Char(' ') + OpenDialog1.fileName);
}
