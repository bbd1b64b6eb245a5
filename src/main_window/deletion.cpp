// SPDX-License-Identifier: GPL-3.0-or-later

#include "main_window/main_window.h"

#include "platform/failure.h"
#include "main_window/category_grid.h"
#include "engine/categories.h"
#include "engine/write_transaction.h"

#include <QLabel>
#include <QLineEdit>

namespace {

using Field = QString TCurrentRow::*;
using Identity = QVariant TCurrentRow::*;

const QChar CR(13);

QString quoted(const QString& value)
{
    return QLatin1Char('"') + value + QLatin1Char('"');
}

// A remembered row of one grid: how it is named to the user, how it is found, and what is forgotten with it.
struct RowBranch
{
    Field guard;
    QString missing;
    QString question;
    QChar separator; // before each named value
    std::vector<std::pair<QString, Field>> shown;
    QString table;
    std::vector<std::pair<QString, Field>> compared; // qualified column, value
    std::vector<Field> forgotten;
    std::vector<Identity> forgottenIdentities;
    Identity identity;
};

const RowBranch& trackBranch()
{
    static const RowBranch branch = {
        &TCurrentRow::trackCim,
        "Nem választottál ki számot!",
        "Valóban törölni szeretnéd a kijelölt számot?",
        QLatin1Char(' '),
        {{"Szám címe: ", &TCurrentRow::trackCim}},
        "szamok",
        {{"szamok.cim", &TCurrentRow::trackCim}, {"szamok.meret", &TCurrentRow::trackMeret}},
        {&TCurrentRow::trackCim, &TCurrentRow::trackMeret, &TCurrentRow::albumEloado, &TCurrentRow::albumAlbum},
        {&TCurrentRow::trackIdentity, &TCurrentRow::albumIdentity},
        &TCurrentRow::trackIdentity};
    return branch;
}

// The branches of tabs 1 to 5, by tab.
const RowBranch& rowBranch(int tab)
{
    static const std::array<RowBranch, 5> branches = {{
        {&TCurrentRow::valogatasEloado,
         "Nem választottál ki számot!",
         "Valóban törölni szeretnéd a kijelölt számot?",
         CR,
         {{"Szám címe: ", &TCurrentRow::valogatasEloado},
          {"Szám hossza: ", &TCurrentRow::valogatasIdo},
          {"Szám mérete: ", &TCurrentRow::valogatasMeret},
          {"CD kódja: ", &TCurrentRow::valogatasKod}},
         "valogatasok",
         {{"valogatasok.eloado", &TCurrentRow::valogatasEloado},
          {"valogatasok.ido", &TCurrentRow::valogatasIdo},
          {"valogatasok.kod", &TCurrentRow::valogatasKod},
          {"valogatasok.meret", &TCurrentRow::valogatasMeret}},
         {&TCurrentRow::valogatasEloado, &TCurrentRow::valogatasIdo, &TCurrentRow::valogatasMeret,
          &TCurrentRow::valogatasKod},
         {&TCurrentRow::valogatasIdentity},
         &TCurrentRow::valogatasIdentity},
        {&TCurrentRow::dvdCim,
         "Nem választottál ki DVD filmet!",
         "Valóban törölni szeretnéd a kijelölt DVD filmet?",
         CR,
         {{"Film címe: ", &TCurrentRow::dvdCim},
          {"Film eredeti címe: ", &TCurrentRow::dvdEredetiCim},
          {"Film nyelve: ", &TCurrentRow::dvdNyelv},
          {"Film felíratai: ", &TCurrentRow::dvdFelirat},
          {"Film hossza: ", &TCurrentRow::dvdHossz}},
         "DVD_Filmek",
         {{"DVD_Filmek.cim", &TCurrentRow::dvdCim},
          {"dvd_filmek.eredeti_cim", &TCurrentRow::dvdEredetiCim},
          {"dvd_filmek.nyelv", &TCurrentRow::dvdNyelv},
          {"dvd_filmek.felirat", &TCurrentRow::dvdFelirat},
          {"DVD_Filmek.hossz", &TCurrentRow::dvdHossz}},
         {&TCurrentRow::dvdCim, &TCurrentRow::dvdEredetiCim, &TCurrentRow::dvdHossz, &TCurrentRow::dvdNyelv,
          &TCurrentRow::dvdFelirat},
         {&TCurrentRow::dvdIdentity},
         &TCurrentRow::dvdIdentity},
        {&TCurrentRow::videoklipCim,
         "Nem választottál ki DivX filmet/video klippet!",
         "Valóban törölni szeretnéd a kijelölt DivX filmet/video klippet?",
         CR,
         {{"Film címe: ", &TCurrentRow::videoklipCim},
          {"Film megjegyzése: ", &TCurrentRow::videoklipMegjegyzes},
          {"Film nyelve: ", &TCurrentRow::videoklipNyelv},
          {"Film mérete: ", &TCurrentRow::videoklipMeret},
          {"Film hossza: ", &TCurrentRow::videoklipHossz}},
         "Filmek_videoklippek",
         {{"Filmek_videoklippek.cim", &TCurrentRow::videoklipCim},
          {"Filmek_videoklippek.MEGJEGYZES", &TCurrentRow::videoklipMegjegyzes},
          {"filmek_videoklippek.nyelv", &TCurrentRow::videoklipNyelv},
          {"filmek_videoklippek.meret", &TCurrentRow::videoklipMeret},
          {"filmek_videoklippek.hossz", &TCurrentRow::videoklipHossz}},
         {&TCurrentRow::videoklipCim, &TCurrentRow::videoklipNyelv, &TCurrentRow::videoklipMegjegyzes,
          &TCurrentRow::videoklipMeret, &TCurrentRow::videoklipHossz},
         {&TCurrentRow::videoklipIdentity},
         &TCurrentRow::videoklipIdentity},
        {&TCurrentRow::gamesNev,
         "Nem választottál ki Játékot!",
         "Valóban törölni szeretnéd a kijelölt Jatékot?",
         CR,
         {{"Játék neve: ", &TCurrentRow::gamesNev},
          {"Játék megjegyzése: ", &TCurrentRow::gamesMegjegyzes},
          {"Játék mérete: ", &TCurrentRow::gamesMeret},
          {"Játék kódja: ", &TCurrentRow::gamesKod}},
         "games",
         {{"games.nev", &TCurrentRow::gamesNev},
          {"games.meret", &TCurrentRow::gamesMeret},
          {"games.megjegyzes", &TCurrentRow::gamesMegjegyzes},
          {"games.kod", &TCurrentRow::gamesKod}},
         {&TCurrentRow::gamesNev, &TCurrentRow::gamesMegjegyzes, &TCurrentRow::gamesMeret, &TCurrentRow::gamesKod},
         {&TCurrentRow::gamesIdentity},
         &TCurrentRow::gamesIdentity},
        {&TCurrentRow::progsProgramok,
         "Nem választottál ki Programot!",
         "Valóban törölni szeretnéd a kijelölt Programot?",
         CR,
         {{"Program neve: ", &TCurrentRow::progsProgramok},
          {"Program megjegyzése: ", &TCurrentRow::progsMegjegyzes},
          {"Program mérete: ", &TCurrentRow::progsMeret},
          {"Program kódja: ", &TCurrentRow::progsKod}},
         "progs_other",
         {{"progs_other.programok", &TCurrentRow::progsProgramok},
          {"progs_other.meret", &TCurrentRow::progsMeret},
          {"progs_other.megjegyzes", &TCurrentRow::progsMegjegyzes},
          {"progs_other.kod", &TCurrentRow::progsKod}},
         {&TCurrentRow::progsProgramok, &TCurrentRow::progsMegjegyzes, &TCurrentRow::progsMeret,
          &TCurrentRow::progsKod},
         {&TCurrentRow::progsIdentity},
         &TCurrentRow::progsIdentity},
    }};
    return branches.at(static_cast<std::size_t>(tab - 1));
}

engine::Statement rowDeletion(const RowBranch& branch, const TCurrentRow& row)
{
    engine::Statement statement(QStringLiteral("delete from ") + branch.table + QStringLiteral(" where ("));
    QString lead;
    for (const auto& [column, field] : branch.compared) {
        statement.fixed(lead).compared(column, QStringLiteral("="), row.*field);
        lead = QStringLiteral(" and ");
    }
    statement.fixed(QStringLiteral(")"));
    // Only the clicked row: another row holding the same values stays, and a row changed since the click is
    // not found at all.
    statement.sqlOnly(QStringLiteral(" and rowid = ?"), {row.*branch.identity});
    return statement;
}

QString confirmation(const RowBranch& branch, const TCurrentRow& row)
{
    QString text = branch.question;
    for (const auto& [label, field] : branch.shown)
        text += branch.separator + label + quoted(row.*field);
    return text;
}

void forget(const RowBranch& branch, TCurrentRow& row)
{
    for (Field field : branch.forgotten)
        (row.*field).clear();
    for (Identity identity : branch.forgottenIdentities)
        (row.*identity).clear();
}

// How a branch ended: its missing message was shown, or the user answered; Vanished when the user said Yes
// but the row was no longer there as it was clicked.
enum class Step {
    Missing,
    Deleted,
    Vanished,
    Declined,
    Closed,
    Shown,
};

const QString rowChangedMeanwhile =
    QStringLiteral("Semmi sem törlődött: ezt a sort időközben egy másik ablakban vagy programban megváltoztatták "
                   "vagy törölték. A lista most a katalógus mostani állapotát mutatja.");
const QString albumChangedMeanwhile =
    QStringLiteral("Az album nem található: időközben megváltozott vagy törölték. Semmi sem törlődött.");

// The guard, the question and, on Yes, the DELETE of one remembered row. Yes and a closed box forget the row.
Step deleteRow(const RowBranch& branch, catalogue::QueryChannel& gridChannel, catalogue::QueryChannel& browse,
               TCurrentRow& row, platform::Prompts& prompts)
{
    gridChannel.recordCount(); // the grid's list must be open; reading its count fails otherwise
    if ((row.*branch.guard).isEmpty()) {
        prompts.information(branch.missing);
        return Step::Missing;
    }
    switch (prompts.confirm(confirmation(branch, row))) {
    case platform::Answer::No:
        return Step::Declined;
    case platform::Answer::Closed:
        forget(branch, row);
        return Step::Closed;
    case platform::Answer::Yes:
        break;
    }
    browse.setStatement(rowDeletion(branch, row));
    browse.execute();
    // No row removed: another window or program changed or deleted it after the click.
    const bool removed = browse.changedRows() > 0;
    forget(branch, row);
    return removed ? Step::Deleted : Step::Vanished;
}

engine::Statement albumKeyLookup(const TCurrentRow& row)
{
    engine::Statement statement(QStringLiteral("select kod from eloado where ("));
    const QString equals = QStringLiteral(" = ");
    statement.compared(QStringLiteral("eloado.eloado"), equals, row.albumEloado)
        .fixed(QStringLiteral(") and ("))
        .compared(QStringLiteral("eloado.album"), equals, row.albumAlbum);
    statement.fixed(QStringLiteral(")"));
    // The clicked album by its own key, not the first of several that share artist and title.
    statement.sqlOnly(QStringLiteral(" and (eloado.kod = ?)"), {row.albumIdentity});
    return statement;
}

// The album's tracks and the album row go together or not at all. False when the album is no longer there as
// it was clicked.
bool deleteAlbumAndTracks(catalogue::QueryChannel& browse, const TCurrentRow& row)
{
    engine::WriteTransaction transaction(browse);
    browse.setStatement(albumKeyLookup(row));
    browse.open();
    if (browse.recordCount() < 1) {
        browse.close();
        return false;
    }
    const QString key = browse.fieldText(0, QStringLiteral("kod"));
    browse.setStatement(
        engine::Statement(QStringLiteral("delete from szamok where (szamok.eloado_azonosito=")).bare(key).fixed(")"));
    browse.execute();
    browse.setStatement(
        engine::Statement(QStringLiteral("delete from eloado where (eloado.kod=")).bare(key).fixed(")"));
    browse.execute();
    transaction.commit();
    return true;
}

Step deleteAlbum(catalogue::QueryChannel& browse, TCurrentRow& row, platform::Prompts& prompts)
{
    browse.recordCount(); // the album list must be open
    if (row.albumEloado.isEmpty()) {
        prompts.information(QStringLiteral("Nincs kijelölve előadó és album!"));
        return Step::Missing;
    }
    const platform::Answer answer =
        prompts.confirm(QStringLiteral("Valóban törölni szeretnéd a teljes albumot? Előadó: ") +
                        quoted(row.albumEloado) + QStringLiteral(" Album: ") + quoted(row.albumAlbum));
    if (answer == platform::Answer::No)
        return Step::Declined;
    const bool deleted = answer == platform::Answer::Yes && deleteAlbumAndTracks(browse, row);
    row.albumEloado.clear();
    row.albumAlbum.clear();
    row.albumIdentity.clear();
    if (answer != platform::Answer::Yes)
        return Step::Closed;
    return deleted ? Step::Deleted : Step::Vanished;
}

// What the album tab showed before a track deletion: the list of albums (the search included) and the widths
// of both grids.
struct AlbumTabShown
{
    bool albumsOpen;
    engine::Statement albums;
    std::vector<int> albumWidths;
    std::vector<int> trackWidths;
};

AlbumTabShown albumTabShown(TFoablak& window)
{
    return {window.browseQuery().isOpen(), window.browseQuery().statement(), window.grid(0)->columnWidths(),
            window.trackGrid()->columnWidths()};
}

// After a track deletion the album list shows what it showed and the track list the album's remaining tracks;
// the deletion's statement replaced the list of albums, and the deleted track would otherwise stay listed.
void showAlbumTabAgain(TFoablak& window, const AlbumTabShown& shown)
{
    catalogue::QueryChannel& browse = window.browseQuery();
    if (shown.albumsOpen && !browse.isOpen()) {
        browse.setStatement(shown.albums);
        browse.open();
        window.grid(0)->setColumnWidths(shown.albumWidths);
    }
    catalogue::QueryChannel& tracks = window.detailQuery();
    if (tracks.isOpen()) {
        tracks.close();
        tracks.open();
        window.trackGrid()->setColumnWidths(shown.trackWidths);
    }
}

} // namespace

void TFoablak::Adat_torleseClick()
{
    if (m_browseQuery.readOnly()) {
        m_services.prompts.information(engine::readOnlyMessage());
        return;
    }
    platform::Prompts& prompts = m_services.prompts;
    const int tab = activeTab();
    // The guard, the question and the deletion of the tab's clicked row; Shown: a track's deletion has shown
    // its album again itself.
    const auto deleteOnTab = [&]() -> Step {
        Step step = Step::Missing;
        if (tab == 0) {
            if (m_editState.trackGridActive) {
                const AlbumTabShown shown = albumTabShown(*this);
                step = deleteRow(trackBranch(), m_detailQuery, m_browseQuery, m_editState.currentRow, prompts);
                if (step == Step::Declined) {
                    forget(trackBranch(), m_editState.currentRow);
                    m_eloadoLabel->clear();
                    m_albumLabel->clear();
                }
                // The album tab is not listed anew after a track: it shows what it showed, less the deleted track.
                if (step == Step::Deleted || step == Step::Vanished)
                    showAlbumTabAgain(*this, shown);
                if (step == Step::Vanished)
                    prompts.information(rowChangedMeanwhile);
                if (step != Step::Missing)
                    return Step::Shown;
            }
            if (m_editState.albumGridActive)
                step = deleteAlbum(m_browseQuery, m_editState.currentRow, prompts);
        } else if (tab < engine::dataCategoryCount) {
            step = deleteRow(rowBranch(tab), m_browseQuery, m_browseQuery, m_editState.currentRow, prompts);
        }
        return step;
    };
    Step step = Step::Missing;
    try {
        step = deleteOnTab();
    } catch (const platform::Failure&) {
        // The deletion's statements took the list's place: whatever stopped them (a lock, a cancel, a lost
        // server), the list shows the rows as they are now, and the failure is told after it. The clicked row
        // stays remembered, so that the deletion can be tried again.
        const auto clicked = m_editState.currentRow;
        try {
            m_browseQuery.close();
            OlvasasChange();
        } catch (const platform::Failure&) {
            // The list cannot be read either: the first failure is the one told.
        }
        m_editState.currentRow = clicked;
        throw;
    }
    if (step == Step::Declined || step == Step::Shown)
        return;
    m_browseQuery.close();
    m_kereses->clear();
    OlvasasChange();
    // Told after the list shows the rows as they are now.
    if (step == Step::Vanished)
        prompts.information(tab == 0 ? albumChangedMeanwhile : rowChangedMeanwhile);
}
