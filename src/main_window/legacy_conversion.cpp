#include "main_window/main_window.h"

#include "platform/failure.h"
#include "legacy/legacy_catalogue.h"
#include "legacy/legacy_import.h"

#include <QApplication>
#include <QFileInfo>

namespace {

// The converted catalogue goes beside the old file under a name of its own, numbered when taken, so that
// it never replaces anything: "lista.tnx" becomes "lista.mediatar.tnx", then "lista.mediatar-2.tnx".
QString convertedName(const QString& legacyPath)
{
    const QFileInfo legacy(legacyPath);
    const QString suffix = legacy.suffix().compare(QLatin1String("qvdb"), Qt::CaseInsensitive) == 0
                               ? QStringLiteral("qvdb")
                               : QStringLiteral("tnx");
    const QString stem =
        legacy.absolutePath() + QLatin1Char('/') + legacy.completeBaseName() + QStringLiteral(".mediatar");
    QString candidate = stem + QLatin1Char('.') + suffix;
    for (int number = 2; QFileInfo::exists(candidate) || QFileInfo(candidate).isSymLink(); ++number)
        candidate = stem + QLatin1Char('-') + QString::number(number) + QLatin1Char('.') + suffix;
    return candidate;
}

class WaitCursor
{
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
};

} // namespace

void TFoablak::offerLegacyConversion(const QString& path)
{
    if (legacy::fileKind(path) != legacy::FileKind::Jet)
        return;
    const QString question = QStringLiteral("A megnyitandó file régebbi formátumú katalógus:\r%1\r\rÁtalakítsam? "
                                            "Az átalakított katalógus a régi mellé, új file-ba kerül; "
                                            "a régi file nem változik.")
                                 .arg(path);
    // Declining leaves the channels on the old file, where the first list fails as with any file that is no
    // catalogue.
    if (m_services.prompts.confirm(question) != platform::Answer::Yes)
        return;
    const QString converted = convertedName(path);
    try {
        WaitCursor waiting;
        legacy::importLegacyCatalogue(path, converted);
    } catch (const platform::Failure& failure) {
        throw platform::Failure(QStringLiteral("A katalógus átalakítása nem sikerült:\r") + failure.text());
    }
    OpenDialog1.fileName = converted;
    m_browseQuery.pointAt(converted);
    m_detailQuery.pointAt(converted);
}
