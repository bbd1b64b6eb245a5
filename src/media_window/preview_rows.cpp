// SPDX-License-Identifier: GPL-3.0-or-later

#include "media_window/preview_rows.h"

#include <QDir>
#include <QTreeWidget>
#include <vector>

namespace preview_rows {

namespace {

using namespace media;

// What an item of the tree stands for.
enum ItemType {
    AlbumGroup = 1,
    AlbumTrack,
    CompilationGroup,
    CompilationRow,
    PlainRow,
};
constexpr int typeRole = Qt::UserRole;
constexpr int editableRole = Qt::UserRole + 1; // a bit for each column the user may correct

int bits(std::initializer_list<int> columns)
{
    int mask = 0;
    for (const int column : columns)
        mask |= 1 << column;
    return mask;
}

// The music tree's columns.
enum MusicColumn { Artist, AlbumTitle, Title, Length, Size, Bitrate, MusicColumns };

template <typename Row> struct Columns
{
    QStringList headers;
    std::vector<QString Row::*> fields;
};

const Columns<Film> filmColumns{
    {"Cím", "Megjegyzés", "Nyelv", "Felbontás", "Méret", "Hossz", "Stílus", "Videó", "Hang"},
    {&Film::CIM, &Film::MEGJEGYZES, &Film::Nyelv, &Film::Felbontas, &Film::MERET, &Film::Hossz, &Film::Stilus,
     &Film::Video, &Film::Hang}};
const Columns<DvdFilm> dvdColumns{{"Cím", "Eredeti cím", "Hangsávok", "Feliratok", "Lemezek", "Hossz", "Stílus"},
                                  {&DvdFilm::CIM, &DvdFilm::EREDETI_CIM, &DvdFilm::Nyelv, &DvdFilm::Felirat,
                                   &DvdFilm::db_DVD, &DvdFilm::Hossz, &DvdFilm::Stilus}};
const Columns<Game> gameColumns{{"Név", "Megjegyzés", "Méret"}, {&Game::NEV, &Game::Megjegyzes, &Game::MERET}};
const Columns<Program> programColumns{{"Név", "Megjegyzés", "Méret"},
                                      {&Program::Programok, &Program::Megjegyzes, &Program::MERET}};
const QStringList musicHeaders{"Előadó", "Album", "Cím", "Hossz", "Méret", "Tömörítés"};

const QString newAlbumNote = QStringLiteral("új album");
const QString heldAlbumNote = QStringLiteral("már a katalógusban: az új számok hozzá kerülnek");
const QString heldTrackNote = QStringLiteral("már a katalógusban, kimarad");
const QString heldTitleNote = QStringLiteral("ilyen című sor már van a katalógusban");

QTreeWidgetItem* newItem(ItemType type, bool ticked, int editable, const QString& source, int editableColumns)
{
    auto* item = new QTreeWidgetItem;
    item->setData(0, typeRole, type);
    item->setData(0, editableRole, editableColumns);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsEditable |
                   (ticked ? Qt::ItemIsUserCheckable : Qt::NoItemFlags));
    if (ticked)
        item->setCheckState(0, Qt::Checked);
    item->setText(editable + 1, QDir::toNativeSeparators(source));
    item->setData(editable + 1, Qt::UserRole, source);
    return item;
}

template <typename Row> void fillPlain(QTreeWidget* tree, const Columns<Row>& columns, const QList<Row>& rows)
{
    const int editable = int(columns.fields.size());
    for (const Row& row : rows) {
        QTreeWidgetItem* item = newItem(PlainRow, true, editable, row.source, (1 << editable) - 1);
        for (int c = 0; c < editable; ++c)
            item->setText(c, row.*columns.fields[std::size_t(c)]);
        tree->addTopLevelItem(item);
    }
}

template <typename Row> QList<Row> collectPlain(const QTreeWidget* tree, const Columns<Row>& columns, bool tickedOnly)
{
    QList<Row> rows;
    const int editable = int(columns.fields.size());
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = tree->topLevelItem(i);
        if (tickedOnly && item->checkState(0) != Qt::Checked)
            continue;
        Row row;
        for (int c = 0; c < editable; ++c)
            row.*columns.fields[std::size_t(c)] = item->text(c);
        row.source = item->data(editable + 1, Qt::UserRole).toString();
        rows << row;
    }
    return rows;
}

void fillMusic(QTreeWidget* tree, const Reading& reading)
{
    for (const Album& album : reading.albums) {
        QTreeWidgetItem* group = newItem(AlbumGroup, false, MusicColumns, {}, bits({Artist, AlbumTitle}));
        group->setText(Artist, album.ELOADO);
        group->setText(AlbumTitle, album.ALBUM);
        for (const Track& track : album.tracks) {
            QTreeWidgetItem* item =
                newItem(AlbumTrack, true, MusicColumns, track.source, bits({Title, Length, Size, Bitrate}));
            item->setText(Title, track.CIM);
            item->setText(Length, track.IDO);
            item->setText(Size, track.MERET);
            item->setText(Bitrate, track.BITRATA);
            group->addChild(item);
        }
        tree->addTopLevelItem(group);
    }
    // A compilation's tracks under one group a compilation title, in the order read.
    QList<QTreeWidgetItem*> groups;
    for (const CompilationTrack& track : reading.compilationTracks) {
        QTreeWidgetItem* group = nullptr;
        for (QTreeWidgetItem* candidate : groups)
            if (candidate->text(AlbumTitle) == track.ALBUM)
                group = candidate;
        if (!group) {
            group = newItem(CompilationGroup, false, MusicColumns, {}, bits({AlbumTitle}));
            group->setText(Artist, QStringLiteral("Válogatás"));
            group->setText(AlbumTitle, track.ALBUM);
            groups << group;
            tree->addTopLevelItem(group);
        }
        QTreeWidgetItem* item =
            newItem(CompilationRow, true, MusicColumns, track.source, bits({Artist, Length, Size, Bitrate}));
        item->setText(Artist, track.ELOADO);
        item->setText(Length, track.IDO);
        item->setText(Size, track.MERET);
        item->setText(Bitrate, track.BITRATA);
        group->addChild(item);
    }
}

void collectMusic(const QTreeWidget* tree, bool tickedOnly, Reading& reading)
{
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* group = tree->topLevelItem(i);
        const int type = group->data(0, typeRole).toInt();
        Album album{group->text(Artist), group->text(AlbumTitle), {}};
        for (int t = 0; t < group->childCount(); ++t) {
            const QTreeWidgetItem* item = group->child(t);
            if (tickedOnly && item->checkState(0) != Qt::Checked)
                continue;
            const QString source = item->data(MusicColumns + 1, Qt::UserRole).toString();
            if (type == AlbumGroup)
                album.tracks << Track{item->text(Title),   item->text(Length), item->text(Size),
                                      item->text(Bitrate), QString(),          source};
            else
                reading.compilationTracks << CompilationTrack{item->text(Artist),
                                                              group->text(AlbumTitle),
                                                              item->text(Length),
                                                              item->text(Bitrate),
                                                              item->text(Size),
                                                              QString(),
                                                              source};
        }
        // Without tickedOnly every album group stays, so that the albums line up with the tree's groups.
        if (type == AlbumGroup && (!tickedOnly || !album.tracks.isEmpty()))
            reading.albums << album;
    }
}

} // namespace

QStringList headers(Kind kind)
{
    QStringList columns;
    switch (kind) {
    case Kind::Music:
        columns = musicHeaders;
        break;
    case Kind::Films:
        columns = filmColumns.headers;
        break;
    case Kind::DvdFilms:
        columns = dvdColumns.headers;
        break;
    case Kind::Games:
        columns = gameColumns.headers;
        break;
    case Kind::Programs:
        columns = programColumns.headers;
        break;
    }
    return columns << QStringLiteral("Megjegyzés a beolvasásról") << QStringLiteral("Fájl");
}

bool isEditable(const QModelIndex& index)
{
    return (index.siblingAtColumn(0).data(editableRole).toInt() >> index.column()) & 1;
}

void fill(QTreeWidget* tree, Kind kind, const Reading& reading)
{
    tree->clear();
    tree->setHeaderLabels(headers(kind));
    switch (kind) {
    case Kind::Music:
        fillMusic(tree, reading);
        break;
    case Kind::Films:
        fillPlain(tree, filmColumns, reading.films);
        break;
    case Kind::DvdFilms:
        fillPlain(tree, dvdColumns, reading.dvdFilms);
        break;
    case Kind::Games:
        fillPlain(tree, gameColumns, reading.games);
        break;
    case Kind::Programs:
        fillPlain(tree, programColumns, reading.programs);
        break;
    }
    tree->expandAll();
}

Reading collect(const QTreeWidget* tree, Kind kind, bool tickedOnly)
{
    Reading reading;
    switch (kind) {
    case Kind::Music:
        collectMusic(tree, tickedOnly, reading);
        break;
    case Kind::Films:
        reading.films = collectPlain(tree, filmColumns, tickedOnly);
        break;
    case Kind::DvdFilms:
        reading.dvdFilms = collectPlain(tree, dvdColumns, tickedOnly);
        break;
    case Kind::Games:
        reading.games = collectPlain(tree, gameColumns, tickedOnly);
        break;
    case Kind::Programs:
        reading.programs = collectPlain(tree, programColumns, tickedOnly);
        break;
    }
    return reading;
}

void mark(QTreeWidget* tree, const QList<HeldAlbum>& held)
{
    const int note = tree->columnCount() - 2;
    int album = 0;
    for (int i = 0; i < tree->topLevelItemCount() && album < held.size(); ++i) {
        QTreeWidgetItem* group = tree->topLevelItem(i);
        if (group->data(0, typeRole).toInt() != AlbumGroup)
            continue;
        const HeldAlbum& found = held.at(album++);
        group->setText(note, found.held() ? heldAlbumNote : newAlbumNote);
        for (int t = 0; t < group->childCount() && t < found.heldTracks.size(); ++t) {
            QTreeWidgetItem* item = group->child(t);
            const bool wasHeld = item->text(note) == heldTrackNote;
            if (found.heldTracks.at(t)) {
                item->setText(note, heldTrackNote);
                item->setCheckState(0, Qt::Unchecked);
            } else if (wasHeld) {
                // Corrected into a track the album lacks: it is recorded after all.
                item->setText(note, QString());
                item->setCheckState(0, Qt::Checked);
            }
        }
    }
}

QStringList titles(const QTreeWidget* tree)
{
    QStringList result;
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
        result << tree->topLevelItem(i)->text(0);
    return result;
}

void markTitles(QTreeWidget* tree, const QList<bool>& held)
{
    const int note = tree->columnCount() - 2;
    for (int i = 0; i < tree->topLevelItemCount() && i < held.size(); ++i)
        tree->topLevelItem(i)->setText(note, held.at(i) ? heldTitleNote : QString());
}

int rowsToRecord(const QTreeWidget* tree)
{
    int count = 0;
    const auto counted = [&count](const QTreeWidgetItem* item) {
        if ((item->flags() & Qt::ItemIsUserCheckable) && item->checkState(0) == Qt::Checked)
            ++count;
    };
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = tree->topLevelItem(i);
        counted(item);
        for (int t = 0; t < item->childCount(); ++t)
            counted(item->child(t));
    }
    return count;
}

} // namespace preview_rows
