// SPDX-License-Identifier: GPL-3.0-or-later

#include "main_window/main_window.h"

#include "main_window/category_grid.h"
#include "platform/failure.h"
#include "engine/categories.h"

#include <QComboBox>
#include <QLabel>

namespace {

// One field of the current-row record and the column it is read from.
struct FieldSource
{
    QString TCurrentRow::*field;
    const char* column;
};

// What a click on a grid copies, in the order it is read.
struct Capture
{
    std::vector<FieldSource> fields;
    QVariant TCurrentRow::*identity;
};

const Capture& trackCapture()
{
    static const Capture capture = {{{&TCurrentRow::trackCim, "cim"},
                                     {&TCurrentRow::trackMeret, "meret"},
                                     {&TCurrentRow::trackEditCim, "cim"},
                                     {&TCurrentRow::trackIdo, "ido"},
                                     {&TCurrentRow::trackBitrata, "bitrata"},
                                     {&TCurrentRow::trackKod, "kod"}},
                                    &TCurrentRow::trackIdentity};
    return capture;
}

// The captures of the grids of tabs 1 to 5, by tab.
const Capture& rowCapture(int tab)
{
    static const std::array<Capture, 5> captures = {{
        {{{&TCurrentRow::valogatasEloado, "eloado"},
          {&TCurrentRow::valogatasAlbum, "album"},
          {&TCurrentRow::valogatasIdo, "ido"},
          {&TCurrentRow::valogatasBitrata, "bitrata"},
          {&TCurrentRow::valogatasMeret, "meret"},
          {&TCurrentRow::valogatasKod, "kod"}},
         &TCurrentRow::valogatasIdentity},
        {{{&TCurrentRow::dvdCim, "cim"},
          {&TCurrentRow::dvdHossz, "hossz"},
          {&TCurrentRow::dvdEredetiCim, "eredeti_cim"},
          {&TCurrentRow::dvdDbDvd, "db_DVD"},
          {&TCurrentRow::dvdStilus, "stilus"},
          {&TCurrentRow::dvdNyelv, "nyelv"},
          {&TCurrentRow::dvdFelirat, "felirat"}},
         &TCurrentRow::dvdIdentity},
        {{{&TCurrentRow::videoklipCim, "cim"},
          {&TCurrentRow::videoklipMegjegyzes, "MEGJEGYZES"},
          {&TCurrentRow::videoklipNyelv, "nyelv"},
          {&TCurrentRow::videoklipFelbontas, "felbontas"},
          {&TCurrentRow::videoklipMeret, "Meret"},
          {&TCurrentRow::videoklipHossz, "hossz"},
          {&TCurrentRow::videoklipStilus, "stilus"},
          {&TCurrentRow::videoklipVideo, "video"},
          {&TCurrentRow::videoklipHang, "hang"}},
         &TCurrentRow::videoklipIdentity},
        {{{&TCurrentRow::gamesNev, "nev"},
          {&TCurrentRow::gamesMeret, "meret"},
          {&TCurrentRow::gamesMegjegyzes, "megjegyzes"},
          {&TCurrentRow::gamesKod, "kod"}},
         &TCurrentRow::gamesIdentity},
        {{{&TCurrentRow::progsProgramok, "programok"},
          {&TCurrentRow::progsMeret, "meret"},
          {&TCurrentRow::progsMegjegyzes, "megjegyzes"},
          {&TCurrentRow::progsKod, "kod"}},
         &TCurrentRow::progsIdentity},
    }};
    return captures.at(static_cast<std::size_t>(tab - 1));
}

// The hidden identity of a listed row; null when the list does not carry it.
QVariant identityAt(const catalogue::QueryChannel& channel, int row)
{
    const engine::RowSet* rows = channel.rows();
    if (!rows)
        return QVariant();
    return rows->value(row, rows->columnIndex(engine::rowIdentityColumn));
}

// Copies the clicked row of a channel into the record. A value that cannot be read empties only its own field.
// Returns false when the channel holds no rows, and then changes nothing.
bool captureFrom(const catalogue::QueryChannel& channel, int row, const Capture& capture, TCurrentRow& record)
{
    if (channel.recordCount() < 1)
        return false;
    for (const FieldSource& source : capture.fields) {
        QString value; // stays empty when the column cannot be read
        try {
            value = channel.fieldText(row, QString::fromLatin1(source.column));
        } catch (const platform::Failure&) {
        }
        record.*source.field = value;
    }
    record.*capture.identity = identityAt(channel, row);
    return true;
}

} // namespace

void TFoablak::DBGrid1CellClick(int row)
{
    if (m_browseQuery.recordCount() < 1)
        return;
    m_editState.currentRow.albumEloado = m_browseQuery.fieldText(row, QStringLiteral("ELOADO"));
    m_editState.currentRow.albumAlbum = m_browseQuery.fieldText(row, QStringLiteral("ALBUM"));
    m_editState.currentRow.albumIdentity = identityAt(m_browseQuery, row);

    m_detailQuery.setStatement(engine::trackListStatement(
        m_editState.currentRow.albumEloado, m_editState.currentRow.albumAlbum, m_editState.currentRow.albumIdentity));
    platform::describeFailure(
        QStringLiteral("Az album számai nem olvashatók be a katalógusból: %1").arg(shownCatalogueName()),
        [this] { m_detailQuery.open(); });
    std::vector<int> trackWidths;
    for (const engine::GridColumn& column : engine::trackColumns())
        trackWidths.push_back(column.startWidth);
    m_trackGrid->setColumnWidths(trackWidths);
    m_editState.trackGridActive = false;
    m_editState.albumGridActive = true;
    m_albumLabel->setText(m_editState.currentRow.albumAlbum);
    m_eloadoLabel->setText(m_editState.currentRow.albumEloado);
    // Filled and selected from code: this is not the user's choice, so no search runs.
    fillSearchColumns({124, 125});
    m_keresesoszlop->setCurrentIndex(0);
}

void TFoablak::DBGrid2CellClick(int row)
{
    if (!captureFrom(m_detailQuery, row, trackCapture(), m_editState.currentRow))
        return;
    m_editState.trackGridActive = true;
    m_editState.albumGridActive = false;
}

void TFoablak::captureRow(int tab, int row)
{
    if (tab < 1 || tab >= engine::dataCategoryCount)
        return;
    captureFrom(m_browseQuery, row, rowCapture(tab), m_editState.currentRow);
}

void TFoablak::gridMouseUp(int tab)
{
    if (tab < 0 || tab >= engine::dataCategoryCount)
        return;
    // The release also ends a drag of a column border, which gives no cell click: that is when a width is kept.
    columnWidths[static_cast<std::size_t>(tab)] = m_grids[static_cast<std::size_t>(tab)]->columnWidths();
}
