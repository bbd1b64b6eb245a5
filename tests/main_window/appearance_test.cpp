// SPDX-License-Identifier: GPL-3.0-or-later

#include "category_fixture.h"

#include "main_window/link_label.h"

#include <QImage>
#include <QPalette>
#include <QPushButton>
#include <QTextDocument>

// Texts in failure messages, found by argument-dependent lookup.
inline std::ostream& operator<<(std::ostream& out, const QString& text)
{
    return out << text.toStdString();
}

namespace {

const QChar CR(13);

// What a rich-text tooltip reads as.
QString readTooltip(const QString& tooltip)
{
    QTextDocument document;
    document.setHtml(tooltip);
    return document.toPlainText();
}

bool fitsShown(const QLabel* label)
{
    return label->fontMetrics().horizontalAdvance(label->text()) <= label->contentsRect().width();
}

// The colours a widget is drawn with, as it shows on the screen.
QImage drawn(QWidget* widget)
{
    return widget->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

int distance(QColor a, QColor b)
{
    return std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) + std::abs(a.blue() - b.blue());
}

// Whether some pixel of the image is drawn in (nearly) the colour.
bool drawsIn(const QImage& image, QColor colour, int tolerance = 30)
{
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (distance(QColor(image.pixel(x, y)), colour) <= tolerance)
                return true;
    return false;
}

QPalette darkPalette()
{
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(32, 32, 32));
    dark.setColor(QPalette::WindowText, QColor(230, 230, 230));
    dark.setColor(QPalette::Base, QColor(20, 20, 20));
    dark.setColor(QPalette::Text, QColor(230, 230, 230));
    dark.setColor(QPalette::Button, QColor(45, 45, 45));
    dark.setColor(QPalette::ButtonText, QColor(230, 230, 230));
    dark.setColor(QPalette::Link, QColor(110, 200, 255));
    dark.setColor(QPalette::Highlight, QColor(40, 120, 200));
    return dark;
}

using AppearanceTest = CategoryFixture;

TEST_F(AppearanceTest, storedValuesThatLookLikeMarkupShowAsTheyAreStored)
{
    const QString artist = QStringLiteral("A<h1>NAGY</h1>");
    const QString album = QStringLiteral("<b>Lemez</b> & <i>társai</i>");
    catalogue->addAlbum(artist, album);
    startWithCaptions();
    clickCell(QStringLiteral("DBGrid1"), 0);

    for (auto [name, value] : {std::pair{"eloado_label", artist}, std::pair{"album_label", album}}) {
        QLabel* caption = label(QString::fromLatin1(name));
        EXPECT_EQ(caption->textFormat(), Qt::PlainText) << name;
        EXPECT_EQ(caption->text(), value) << name;
    }
    // The question names the album exactly as stored.
    desktop.prompts.answerNext(platform::Answer::No);
    QTest::mouseClick(widget<QPushButton>(QStringLiteral("Adat_torlese")), Qt::LeftButton);
    ASSERT_EQ(desktop.prompts.confirmations.size(), 1);
    EXPECT_EQ(desktop.prompts.confirmations.first(),
              QStringLiteral("Valóban törölni szeretnéd a teljes albumot? Előadó: \"") + artist +
                  QStringLiteral("\" Album: \"") + album + QStringLiteral("\""));
    expectNoErrors();
}

TEST_F(AppearanceTest, aLongArtistOrAlbumEndsInAnEllipsisWithTheWholeTextInItsTooltip)
{
    const QString artist = QStringLiteral("Budapesti Fesztiválzenekar és a Magyar Rádió Énekkara <Fischer Iván>");
    const QString album = QStringLiteral("Bartók: A kékszakállú herceg vára, teljes felvétel, 2 lemez");
    catalogue->addAlbum(artist, album);
    catalogue->addAlbum(QStringLiteral("Omega"), QStringLiteral("Időrabló"));
    startWithCaptions();

    clickCell(QStringLiteral("DBGrid1"), 0);
    for (auto [name, value] : {std::pair{"eloado_label", artist}, std::pair{"album_label", album}}) {
        QLabel* caption = label(QString::fromLatin1(name));
        EXPECT_TRUE(fitsShown(caption)) << name << ": " << caption->text();
        EXPECT_TRUE(caption->text().endsWith(QChar(0x2026))) << caption->text();
        EXPECT_EQ(readTooltip(caption->toolTip()), value) << name;
        EXPECT_LE(caption->geometry().right(), caption->parentWidget()->width()) << name;
    }
    // The captions do not run into each other.
    EXPECT_LT(label("eloado_label")->geometry().right(), label("album_label")->x());

    // A short one shows whole, with no tooltip left from the long one.
    clickCell(QStringLiteral("DBGrid1"), 1);
    EXPECT_EQ(label("eloado_label")->text(), QStringLiteral("Omega"));
    EXPECT_TRUE(label("eloado_label")->toolTip().isEmpty());

    // A wider window gives the album caption the room of the wider track grid.
    clickCell(QStringLiteral("DBGrid1"), 0);
    window().resize(window().width() + 400, window().height());
    EXPECT_EQ(label("album_label")->text(), album);
    EXPECT_TRUE(fitsShown(label("album_label")));
}

TEST_F(AppearanceTest, theEmptyDataNoticeShowsWhole)
{
    startWithCaptions();
    for (const char* name : {"album_nincs_adat", "valogatas_nincs_adat", "dvd_nincs_adat", "videoklip_nincs_adat",
                             "games_nincs_adat", "progs_nincs_adat", "vhs_nincs_adat", "books_nincs_adat"}) {
        QLabel* notice = label(QString::fromLatin1(name));
        EXPECT_EQ(notice->text(), QStringLiteral("Az adatbázis nem tartalmaz adatokat!")) << name;
        EXPECT_TRUE(fitsShown(notice)) << name << ": " << notice->width() << " px";
        EXPECT_GE(notice->width(), 182) << name;
    }
}

TEST_F(AppearanceTest, aCountOfAHundredThousandMovesTheWordsAsideAndTheyComeBack)
{
    catalogue->addAlbum(QStringLiteral("Omega"), QStringLiteral("Időrabló"));
    catalogue->exec(QStringLiteral(
        "INSERT INTO games (NEV, Megjegyzes, MERET, KOD) WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 "
        "FROM n WHERE i < 100000) SELECT 'Game ' || i, '', i || ' MB', 'CD' FROM n"));
    TFoablak& main = startWithCaptions();
    QLabel* count = countLabel();
    QLabel* words = label(QStringLiteral("Label1"));
    const int designedLeft = (main.width() + 8) / 2 - 60;
    ASSERT_EQ(words->x(), designedLeft);

    // No resize comes between: the count changes with the tab.
    switchToTab(4);
    ASSERT_EQ(count->text(), QStringLiteral("100000"));
    EXPECT_TRUE(fitsShown(count));
    EXPECT_GT(words->x(), count->geometry().right()) << "the count runs into the words";

    typeSearch(QStringLiteral("Game 99999"));
    // QTRY_* would return from the test quietly on a time-out; the wait is asserted instead.
    ASSERT_TRUE(QTest::qWaitFor([&] { return count->text() == QStringLiteral("1"); })) << count->text().toStdString();
    EXPECT_EQ(words->x(), designedLeft);
    expectNoErrors();
}

TEST_F(AppearanceTest, linksAndCaptionsTakeTheirColoursFromThePalette)
{
    catalogue->addAlbum(QStringLiteral("Omega"), QStringLiteral("Időrabló"));
    TFoablak& main = startWithCaptions();
    main.setPalette(darkPalette());
    clickCell(QStringLiteral("DBGrid1"), 0);
    const QColor link = darkPalette().color(QPalette::Link);
    for (const char* name : {"weblink", "email", "eloado_label", "album_label"}) {
        const QImage image = drawn(widget<QLabel>(QString::fromLatin1(name)));
        EXPECT_TRUE(drawsIn(image, link)) << name << " is not drawn in the palette's link colour";
        EXPECT_FALSE(drawsIn(image, Qt::blue, 60)) << name << " is drawn in a fixed blue";
    }
}

TEST_F(AppearanceTest, aMissingTableIsToldInHungarianWithTheEnginesTextAfterIt)
{
    catalogue->addAlbum(QStringLiteral("Omega"), QStringLiteral("Időrabló"));
    catalogue->exec(QStringLiteral("DROP TABLE games"));
    startWithCaptions();
    switchToTab(4);
    ASSERT_EQ(desktop.errors.reports.size(), 1);
    const QStringList lines = desktop.errors.reports.first().split(CR);
    ASSERT_GE(lines.size(), 3) << desktop.errors.reports.first();
    EXPECT_EQ(lines.first(), QStringLiteral("A katalógus „games” táblája nem olvasható be: ") + catalogue->path());
    EXPECT_EQ(lines.last(), QStringLiteral("Eredeti üzenet: no such table: games"));
}

TEST_F(AppearanceTest, aCatalogueThatIsNoDatabaseIsNamedInTheReport)
{
    folder.writeBytes(QStringLiteral("jegyzet.tnx"), QByteArray("ez csak szöveg, nem adatbázis\n").repeated(200));
    folder.writeSettings(folder.file(QStringLiteral("jegyzet.tnx")));
    folder.installShippedLanguage();
    start(); // the report comes first; start-up then offers the open dialog, which is not answered here
    ASSERT_EQ(desktop.errors.reports.size(), 1);
    const QStringList lines = desktop.errors.reports.first().split(CR);
    EXPECT_TRUE(lines.contains(folder.file(QStringLiteral("jegyzet.tnx")))) << desktop.errors.reports.first();
    EXPECT_TRUE(lines.contains(QStringLiteral("A file nem adatbázis: nem a program katalógusa, vagy sérült.")));
    EXPECT_EQ(lines.last(), QStringLiteral("Eredeti üzenet: file is not a database"));
}

} // namespace
