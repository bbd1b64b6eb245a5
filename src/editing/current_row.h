// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>
#include <QVariant>

// The column values, as text, of the row the user last clicked in each grid of tabs 0 to 5. Deletion and
// editing act on this record, never on a grid's cursor.
struct TCurrentRow
{
    // DBGrid1: the album
    QString albumEloado; // key
    QString albumAlbum;  // key
    // DBGrid2: a track of the album
    QString trackCim;   // key
    QString trackMeret; // key
    QString trackEditCim;
    QString trackIdo;
    QString trackBitrata;
    QString trackKod;
    // DBGrid3: a compilation track
    QString valogatasEloado; // key
    QString valogatasAlbum;
    QString valogatasIdo;
    QString valogatasBitrata;
    QString valogatasMeret; // key
    QString valogatasKod;
    // DBGrid4: a DVD film
    QString dvdCim;   // key
    QString dvdHossz; // key
    QString dvdEredetiCim;
    QString dvdDbDvd;
    QString dvdStilus;
    QString dvdNyelv;   // also the entry dialog's working text for the joined sound tracks
    QString dvdFelirat; // also the entry dialog's working text for the joined subtitles
    // DBGrid5: a film or clip
    QString videoklipCim;        // key
    QString videoklipMegjegyzes; // key
    QString videoklipNyelv;
    QString videoklipFelbontas;
    QString videoklipMeret;
    QString videoklipHossz;
    QString videoklipStilus;
    QString videoklipVideo;
    QString videoklipHang;
    // DBGrid6: a game
    QString gamesNev;   // key
    QString gamesMeret; // key
    QString gamesMegjegyzes;
    QString gamesKod;
    // DBGrid7: a program
    QString progsProgramok; // key
    QString progsMeret;     // key
    QString progsMegjegyzes;
    QString progsKod;

    // The identity of each clicked row in its table (the album's own key for DBGrid1, the rowid elsewhere),
    // read with the click, so that a change reaches that row and no other that shares its values.
    // Null when nothing is remembered.
    QVariant albumIdentity;
    QVariant trackIdentity;
    QVariant valogatasIdentity;
    QVariant dvdIdentity;
    QVariant videoklipIdentity;
    QVariant gamesIdentity;
    QVariant progsIdentity;

    // The browse operation forgets the fourteen key fields (and the identities that go with them).
    void clearKeyFields();
};
