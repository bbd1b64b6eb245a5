// SPDX-License-Identifier: GPL-3.0-or-later

#include "main_window/main_window.h"

#include "platform/failure.h"
#include "legacy/legacy_catalogue.h"
#include "legacy/legacy_import.h"

#include <QApplication>
#include <QFileInfo>
#include <optional>

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
    // A damaged file is converted as far as it can be read, and the user decides, knowing what is lost,
    // whether that catalogue is kept; nothing lost is ever passed over in silence.
    legacy::ImportOptions options;
    options.salvage = true;
    std::optional<WaitCursor> waiting;
    options.keepSalvaged = [&](const legacy::ImportReport& report) {
        waiting.reset();
        const QString lost = legacy::describeLosses(report.losses, QStringLiteral("\r"));
        const QString keep = QStringLiteral("A régi katalógus sérült, nem minden olvasható ki belőle:\r%1\r\r%2\r\r"
                                            "Megtartsam az átalakított katalógust azzal, ami olvasható volt (%3 sor)? "
                                            "Nem választásakor nem készül új file; a régi file nem változik.")
                                 .arg(path, lost)
                                 .arg(report.totalRows());
        const bool kept = m_services.prompts.confirm(keep) == platform::Answer::Yes;
        waiting.emplace();
        return kept;
    };
    legacy::ImportReport report;
    try {
        waiting.emplace();
        report = legacy::importLegacyCatalogue(path, converted, options);
    } catch (const legacy::DamagedSource& damaged) {
        throw platform::Failure(
            QStringLiteral("A katalógus átalakítása nem sikerült:\r%1: the file is damaged; nothing "
                           "could be read:\r%2")
                .arg(path, legacy::describeLosses(damaged.losses(), QStringLiteral("\r"))));
    } catch (const platform::Failure& failure) {
        throw platform::Failure(QStringLiteral("A katalógus átalakítása nem sikerült:\r") + failure.text());
    }
    // Declined: as when the conversion itself is declined.
    if (!report.kept)
        return;
    OpenDialog1.fileName = converted;
    m_browseQuery.pointAt(converted);
    m_detailQuery.pointAt(converted);
}
