// SPDX-License-Identifier: GPL-3.0-or-later

#include "record_fixture.h"

#include "main_window/category_grid.h"
#include "store/schema.h"

// An edit opened on any row and saved: every column the user left alone goes back to the file byte for byte,
// what the user typed is stored as typed (a length padded), and only the row that was opened changes.

namespace {

class RoundTripFixture : public RecordFixture
{
protected:
    void SetUp() override
    {
        RecordFixture::SetUp();
        window().textSlots().set(301, QStringLiteral("Módosít"));
    }

    // Every row of a table as the catalogue holds it, one text per row: each column quoted as SQL writes it, so
    // that a NULL, an empty text and a number are told apart.
    static QString quoted(const QVariant& value)
    {
        if (value.isNull())
            return QStringLiteral("NULL");
        if (value.typeId() == QMetaType::LongLong || value.typeId() == QMetaType::Int)
            return value.toString();
        return QLatin1Char('\'') + value.toString().replace(QLatin1Char('\''), QStringLiteral("''")) +
               QLatin1Char('\'');
    }

    QStringList storedRows(const QString& table) const
    {
        QStringList columns;
        for (const ::engine::TableDefinition& definition : ::engine::catalogueTables()) {
            if (definition.name.compare(table, Qt::CaseInsensitive) == 0)
                for (const QString& column : definition.columns)
                    columns << column;
        }
        EXPECT_FALSE(columns.isEmpty()) << table.toStdString();
        QStringList rows;
        for (const QVariantList& row :
             catalogue->rows(QStringLiteral("SELECT rowid, ") + columns.join(QStringLiteral(", ")) +
                             QStringLiteral(" FROM ") + table + QStringLiteral(" ORDER BY rowid"))) {
            QStringList texts;
            for (const QVariant& value : row)
                texts << quoted(value);
            rows << texts.join(QStringLiteral(" | "));
        }
        return rows;
    }

    // The row of a grid whose first shown column holds text; -1 when none does.
    int rowShowing(const QString& gridName, const QString& text) const
    {
        const QAbstractItemModel* model = grid(gridName)->model();
        for (int row = 0; row < model->rowCount(); ++row)
            if (model->index(row, 0).data().toString() == text)
                return row;
        return -1;
    }

    // Clicks the row showing text (on the album tab: the album's row, then the track's) and opens it for
    // editing.
    void openForEditing(int tab, const QString& gridName, const QString& shown, const QString& track = QString())
    {
        switchToTab(tab);
        const int row = rowShowing(gridName, shown);
        ASSERT_GE(row, 0) << shown.toStdString();
        clickCell(gridName, row);
        if (!track.isNull()) {
            const int trackRow = rowShowing(QStringLiteral("DBGrid2"), track);
            ASSERT_GE(trackRow, 0) << track.toStdString();
            clickCell(QStringLiteral("DBGrid2"), trackRow);
        }
        pressSzerkesztes();
        ASSERT_TRUE(window().editState().mode.editMode) << shown.toStdString();
        ASSERT_TRUE(dialog().isVisible());
    }
};

class RoundTripTest : public OnBothEngines<RoundTripFixture>
{
};

struct StoredCase
{
    int tab;
    const char* grid;
    const char* table;
    QVariantList stored;         // in the table's column order; a null QVariant is a NULL
    const char* track = nullptr; // the title of a track of the album "Omega"
};

const QVariant null;

TEST_P(RoundTripTest, anEditSavedUntouchedWritesEveryColumnBackAsItWas)
{
    const qint64 omega = catalogue->addAlbum(QStringLiteral("Omega"), QStringLiteral("Időrabló"));
    const StoredCase cases[] = {
        // Album tracks: lengths with one-digit, missing or no parts, and NULLs of an imported catalogue.
        {0, "DBGrid1", "szamok", {"Ezüst eső", "1:02:03", "6,7 MB", "192", "CD07", omega}, "Ezüst eső"},
        {0, "DBGrid1", "szamok", {"Nyitány", "5:10", null, null, null, omega}, "Nyitány"},
        {0, "DBGrid1", "szamok", {"Csend", "", "1 MB", "128", "K1", omega}, "Csend"},
        {0, "DBGrid1", "szamok", {"Zaj", "00:00:00", "", "VBR", "", omega}, "Zaj"},
        {0, "DBGrid1", "szamok", {"Élő", "ismeretlen", "2 MB", "Audió", "Audió", omega}, "Élő"},
        // An album with a NULL title.
        {0, "DBGrid1", "eloado", {null, "Illés", null}},
        // Compilations: a zero length and an empty bit rate that the checks would refuse if typed.
        {1, "DBGrid3", "Valogatasok", {"Neoton - Vándorének", null, "1:02:03", "128", "3 MB", null}},
        {1, "DBGrid3", "Valogatasok", {"Korál - Halálos iramban", "Best of", "00:00:00", null, "", "V2"}},
        // DVD films: lists joined by bare commas, an item holding a comma, no sound track, an empty subtitle
        // list, a count that is no number, the style prompt itself.
        {2, "DBGrid4", "DVD_Filmek", {"A tanú", "The Witness", "AC3/6 HU,DTS/6 EN", "-", "2", "1:32:5", "Vígjáték"}},
        {2, "DBGrid4", "DVD_Filmek", {"Bolse vita", null, "AC3/6 HU, DTS/6 EN, egyéb,de vesszővel", "", "x", "", null}},
        {2, "DBGrid4", "DVD_Filmek", {"Csak cím", "", "", "magyar,angol", "1", "00:00:00", "Válassz kategóriát:"}},
        // Films and clips.
        {3, "DBGrid5", "Filmek_videoklippek", {"Klip", null, "magyar", null, "50 MB", "0:3:30", "pop", null, "MP3"}},
        {3, "DBGrid5", "Filmek_videoklippek", {"Üres klip", "", "", "", "", "", "", "", ""}},
        // Games and programs: quotes, percent, underscore, backslash and accented capitals.
        {4, "DBGrid6", "games", {"Doom", null, null, null}},
        {4, "DBGrid6", "games", {"Say \"Hi\" 100% _x_ \\", "ŐŰ", "1", "G'1"}},
        {5, "DBGrid7", "progs_other", {"Office", null, "", null}},
    };
    for (const StoredCase& c : cases)
        catalogue->insert(QString::fromLatin1(c.table), c.stored); // a NULL album key takes the next key
    relist();

    for (const StoredCase& c : cases) {
        const QString table = QString::fromLatin1(c.table);
        const QString shown = table == QLatin1String("eloado")   ? c.stored.at(1).toString()
                              : table == QLatin1String("szamok") ? QStringLiteral("Omega")
                                                                 : c.stored.at(0).toString();
        SCOPED_TRACE(shown.toStdString() + (c.track ? std::string(" / ") + c.track : std::string()));
        const QStringList before = storedRows(table);
        openForEditing(c.tab, QString::fromLatin1(c.grid), shown, c.track ? QString::fromUtf8(c.track) : QString());
        desktop.errors.reports.clear(); // a count that is no number is reported while the page is filled
        desktop.prompts.informations.clear();
        press();
        expectNoErrors();
        EXPECT_TRUE(desktop.prompts.informations.isEmpty()) << desktop.prompts.informations.join('\n').toStdString();
        EXPECT_FALSE(dialog().isVisible());
        EXPECT_EQ(storedRows(table), before);
    }
}

TEST_P(RoundTripTest, aTypedLengthIsStoredPaddedAndTheOtherColumnsStayAsStored)
{
    struct TypedCase
    {
        int tab;
        const char* grid;
        const char* table;
        QVariantList stored;
        const char* field; // the duration field typed into
        const char* typed;
        int lengthColumn;
        const char* length; // stored afterwards
    };
    const TypedCase cases[] = {
        {1,
         "DBGrid3",
         "Valogatasok",
         {"Neoton", null, "1:02:03", "128", "3 MB", null},
         "valogatas_perc",
         "4",
         2,
         "01:04:03"},
        {2,
         "DBGrid4",
         "DVD_Filmek",
         {"A tanú", null, "AC3/6 HU,DTS/6 EN", "-", "2", "", "Vígjáték"},
         "film_ora",
         "1",
         5,
         "01:00:00"},
        {3,
         "DBGrid5",
         "Filmek_videoklippek",
         {"Klip", null, "magyar", null, "50 MB", "ismeretlen", "pop", null, null},
         "clip_mp",
         "7",
         5,
         "00:00:07"},
    };
    for (const TypedCase& c : cases) {
        const QString table = QString::fromLatin1(c.table);
        SCOPED_TRACE(table.toStdString());
        catalogue->insert(table, c.stored);
        relist();
        const QStringList before = storedRows(table);
        ASSERT_EQ(before.size(), 1);
        openForEditing(c.tab, QString::fromLatin1(c.grid), c.stored.at(0).toString());
        typeInto(QString::fromLatin1(c.field), QString::fromLatin1(c.typed));
        press();
        expectNoErrors();
        EXPECT_FALSE(dialog().isVisible());
        // The length column changed, to two digits a part; every other column is what it was.
        QStringList expected = before.at(0).split(QStringLiteral(" | "));
        ASSERT_GT(expected.size(), c.lengthColumn + 1);
        expected[c.lengthColumn + 1] = QStringLiteral("'%1'").arg(QString::fromLatin1(c.length));
        EXPECT_EQ(storedRows(table), QStringList({expected.join(QStringLiteral(" | "))}));
    }
}

// Two rows that share the values an edit compares, on every page: the edit changes the one that was opened.
TEST_P(RoundTripTest, anEditChangesTheOpenedRowAndNotItsTwinOnEveryPage)
{
    const qint64 first = catalogue->addAlbum(QStringLiteral("Omega"), QStringLiteral("Időrabló"));
    const qint64 second = catalogue->addAlbum(QStringLiteral("Omega"), QStringLiteral("Időrabló"));
    // Each album has two tracks alike in every column, and the other album has them too.
    for (const qint64 album : {first, second}) {
        catalogue->addTrack(album, QStringLiteral("Intro"), "00:01:00", "1 MB", "128", "A");
        catalogue->addTrack(album, QStringLiteral("Intro"), "00:01:00", "1 MB", "128", "A");
    }
    struct TwinCase
    {
        int tab;
        const char* grid;
        const char* table;
        QVariantList one;
        QVariantList other;
        const char* field; // changed in the dialog
        int column;        // where it is stored
        const char* track = nullptr;
    };
    // Twins alike in every column: only the row's own identity tells the opened one from the other.
    const QVariantList compilation = {"X - Dal", "A", "00:03:00", "128", "3 MB", "V1"};
    const QVariantList film = {"Film", "Egy", "AC3/6 HU", "-", "1", "01:30:00", "Dráma"};
    const QVariantList clip = {"Klip", "élő", "magyar", "720", "50 MB", "00:03:30", "pop", "a", "b"};
    const QVariantList game = {"Doom", "FPS", "40 MB", "G1"};
    const QVariantList program = {"Office", "régi", "300 MB", "P1"};
    const TwinCase cases[] = {
        {0, "DBGrid1", "eloado", {}, {}, "Album_cime", 2},
        {0, "DBGrid1", "szamok", {}, {}, "Kod", 4, "Intro"},
        {1, "DBGrid3", "Valogatasok", compilation, compilation, "CD_Kod", 5},
        {2, "DBGrid4", "DVD_Filmek", film, film, "Film_eredeti_cime", 1},
        {3, "DBGrid5", "Filmek_videoklippek", clip, clip, "Clip_hang", 8},
        {4, "DBGrid6", "games", game, game, "JatekCD_kodja", 3},
        {5, "DBGrid7", "progs_other", program, program, "Progs_kod", 3},
    };
    for (const TwinCase& c : cases) {
        const QString table = QString::fromLatin1(c.table);
        SCOPED_TRACE(table.toStdString());
        if (!c.one.isEmpty()) {
            catalogue->insert(table, c.one);
            catalogue->insert(table, c.other);
        }
        relist();
        switchToTab(c.tab);
        clickCell(QString::fromLatin1(c.grid), 1);
        QVariant identity;
        if (c.track) {
            clickCell(QStringLiteral("DBGrid2"), 1);
            identity = window().editState().currentRow.trackIdentity;
        } else {
            const TCurrentRow& row = window().editState().currentRow;
            const QVariant identities[] = {row.albumIdentity,     row.valogatasIdentity, row.dvdIdentity,
                                           row.videoklipIdentity, row.gamesIdentity,     row.progsIdentity};
            identity = identities[c.tab];
        }
        ASSERT_FALSE(identity.isNull());
        const QStringList before = storedRows(table);
        pressSzerkesztes();
        ASSERT_TRUE(window().editState().mode.editMode);
        typeInto(QString::fromLatin1(c.field), QStringLiteral("javított"));
        press();
        expectNoErrors();
        const QStringList after = storedRows(table);
        ASSERT_EQ(after.size(), before.size());
        int changed = 0;
        for (int i = 0; i < before.size(); ++i) {
            if (after.at(i) == before.at(i))
                continue;
            ++changed;
            const QStringList columns = after.at(i).split(QStringLiteral(" | "));
            ASSERT_GT(columns.size(), c.column + 1);
            EXPECT_EQ(columns.at(0), identity.toString()); // the opened row
            EXPECT_EQ(columns.at(c.column + 1), QStringLiteral("'javított'"));
        }
        EXPECT_EQ(changed, 1);
    }
}

RUN_ON_BOTH_ENGINES(RoundTripTest);

} // namespace
