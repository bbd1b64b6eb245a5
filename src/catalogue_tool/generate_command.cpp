// SPDX-License-Identifier: GPL-3.0-or-later

#include "catalogue_tool/arguments.h"
#include "catalogue_tool/progress_line.h"

#include "catalogue/engines.h"
#include "platform/failure.h"

#include <QFile>
#include <cstdint>
#include <functional>
#include <vector>

// A catalogue of made-up but believable Hungarian collection data, the same for the same size and seed:
// for trying the program, and for measuring it, on catalogues of any size.

namespace catalogue_tool {

namespace {

// splitmix64: small, fast, and the same sequence on every platform and standard library.
class Random
{
public:
    explicit Random(std::uint64_t seed) : m_state(seed) {}
    std::uint64_t next()
    {
        std::uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    int below(int n) { return static_cast<int>(next() % static_cast<std::uint64_t>(n)); }
    bool chance(int percent) { return below(100) < percent; }
    template <typename List> const QString& pick(const List& list)
    {
        return list[static_cast<std::size_t>(below(static_cast<int>(list.size())))];
    }

private:
    std::uint64_t m_state;
};

const std::vector<QString> familyNames = {
    "Kovács",   "Szabó",   "Tóth",    "Nagy",    "Horváth", "Varga",    "Kiss",     "Molnár", "Németh",    "Farkas",
    "Balogh",   "Papp",    "Takács",  "Juhász",  "Lakatos", "Mészáros", "Oláh",     "Simon",  "Rácz",      "Fekete",
    "Szilágyi", "Török",   "Fehér",   "Balázs",  "Gál",     "Szűcs",    "Kocsis",   "Pintér", "Fodor",     "Szalai",
    "Sipos",    "Magyar",  "Lukács",  "Gulyás",  "Bíró",    "Király",   "Katona",   "Jakab",  "Sándor",    "Boros",
    "Fazekas",  "Kelemen", "Antal",   "Somogyi", "Orosz",   "Fülöp",    "Veres",    "Vincze", "Hegedűs",   "Deák",
    "Bálint",   "Illés",   "Vass",    "Szőke",   "Fábián",  "Vörös",    "Lengyel",  "Bognár", "Jónás",     "Hajdú",
    "Halász",   "Máté",    "Székely", "Gáspár",  "Kozma",   "Pásztor",  "Dudás",    "Virág",  "Orbán",     "Barna",
    "Soós",     "Nemes",   "Pataki",  "Ábrahám", "Éles",    "Ölvedi",   "Ürmös",    "Ősz",    "Zsigmond",  "Csizmadia",
    "Dzsida",   "Gyurkó",  "Lyka",    "Nyitrai", "Tyukodi", "Zsoldos",  "Cserháti", "Csonka", "Dzsudzsák", "Gyöngyösi",
    "Ujvári",   "Újvári",  "Ónodi",   "Ecsedi",  "Ignácz",  "Ódor",     "Üveges",   "Ősi"};

const std::vector<QString> givenNames = {
    "Ábel",    "Ádám",    "Ágnes",     "Anna",   "András",   "Attila",   "Balázs",  "Béla",    "Csaba",   "Csilla",
    "Dániel",  "Dezső",   "Dzsenifer", "Edit",   "Éva",      "Erzsébet", "Ferenc",  "Gábor",   "Gyula",   "Gyöngyi",
    "György",  "Ildikó",  "István",    "Judit",  "Katalin",  "Kinga",    "László",  "Lajos",   "Levente", "Lilla",
    "Márta",   "Mihály",  "Nándor",    "Nóra",   "Norbert",  "Olga",     "Orsolya", "Ödön",    "Örs",     "Pál",
    "Péter",   "Piroska", "Róbert",    "Sándor", "Szabolcs", "Szilvia",  "Tamás",   "Tibor",   "Tünde",   "Ubul",
    "Valéria", "Viktor",  "Zoltán",    "Zsófia", "Zsolt",    "Zsuzsa",   "Őze",     "Üdvöske", "Emőke",   "Etelka",
    "Ilona",   "Imre",    "Jenő",      "Kálmán"};

const std::vector<QString> nouns = {
    "szerelem",  "éjszaka",    "nyár",      "tél",      "ősz",        "tavasz",   "hajnal",       "álom",    "csillag",
    "dal",       "szív",       "út",        "élet",     "idő",        "fény",     "árnyék",       "tenger",  "folyó",
    "város",     "otthon",     "szabadság", "emlék",    "holnap",     "tegnap",   "vihar",        "szél",    "eső",
    "hó",        "tűz",        "víz",       "föld",     "ég",         "hegy",     "völgy",        "erdő",    "mező",
    "kert",      "ház",        "ablak",     "kapu",     "híd",        "vonat",    "hajó",         "gyermek", "anya",
    "apa",       "barát",      "király",    "királynő", "herceg",     "lovag",    "katona",       "csata",   "háború",
    "béke",      "titok",      "kincs",     "sziget",   "kalóz",      "vadász",   "farkas",       "medve",   "róka",
    "sas",       "galamb",     "macska",    "kutya",    "ló",         "pillangó", "rózsa",        "liliom",  "tulipán",
    "gyöngy",    "zsivány",    "dzsungel",  "nyomozó",  "gyilkosság", "szellem",  "angyal",       "ördög",   "csoda",
    "varázslat", "boszorkány", "mese",      "legenda",  "hős",        "szökés",   "visszatérés",  "kaland",  "utazás",
    "búcsú",     "találkozás", "tánc",      "zene",     "ének",       "mosoly",   "öröm",         "bánat",   "düh",
    "félelem",   "remény",     "hit",       "szeretet", "Budapest",   "Duna",     "Tisza",        "Balaton", "Debrecen",
    "Szeged",    "Pécs",       "Győr",      "Eger",     "ötlet",      "üzenet",   "őrszem",       "ügynök",  "öböl",
    "ünnep",     "írás",       "óra",       "úszó",     "ezüst",      "arany",    "lyukas zokni", "tyúkól",  "csend",
    "dzsessz",   "zsákutca",   "nyúl",      "gyár",     "cseresznye", "lyra",     "szikla",       "tó",      "part"};

const std::vector<QString> adjectives = {
    "nagy",     "kis",      "régi",   "új",        "vad",    "csendes", "hosszú", "rövid",  "sötét",
    "világos",  "szép",     "bátor",  "elveszett", "utolsó", "első",    "titkos", "boldog", "szomorú",
    "magányos", "végtelen", "örök",   "ötödik",    "fekete", "fehér",   "piros",  "zöld",   "kék",
    "arany",    "ezüst",    "hideg",  "forró",     "gyors",  "lassú",   "édes",   "keserű", "csodás",
    "zsúfolt",  "nyugodt",  "ősi",    "üres",      "igazi",  "álmos",   "éhes",   "ólmos",  "újabb",
    "dzsentri", "tyúkeszű", "lyukas", "gyönyörű",  "csinos", "szabad"};

const std::vector<QString> englishWords = {
    "The",  "Last",  "Night", "Dark", "Water", "Love",   "Story",    "Return", "King",  "Secret", "Lost",    "City",
    "Road", "Home",  "Fire",  "Ice",  "Storm", "Island", "Dream",    "Hunter", "Ghost", "Shadow", "Empire",  "Queen",
    "War",  "Peace", "Star",  "Moon", "Sun",   "River",  "Mountain", "Heart",  "Song",  "Dance",  "Journey", "Escape"};

const std::vector<QString> filmStyles = {"Akció",      "Dráma",     "Vígjáték",   "Horror", "Thriller", "Sci-fi",
                                         "Romantikus", "Animációs", "Dokumentum", "Kaland", "Krimi",    "Western",
                                         "Zenés",      "Családi",   "Háborús",    "Fantasy"};
const std::vector<QString> soundTracks = {"AC3/6 HU", "AC3/6 EN", "DTS EN", "AC3/2 HU",
                                          "AC3/2 DE", "AC3/2 FR", "DTS HU"};
const std::vector<QString> subtitleLanguages = {"HU", "EN", "DE", "FR", "CZ", "PL", "RO"};
const std::vector<QString> languages = {"magyar", "angol", "német", "francia", "olasz", "orosz"};
const std::vector<QString> resolutions = {"640x480", "720x576", "1280x720", "1920x1080", "320x240"};
const std::vector<QString> videoCodecs = {"DivX 5", "XviD", "H.264", "MPEG-2", "WMV9"};
const std::vector<QString> audioCodecs = {"MP3", "AC3", "AAC", "Vorbis", "PCM"};
const std::vector<QString> bitrates = {"128 kbps", "160 kbps", "192 kbps", "256 kbps", "320 kbps", "VBR"};
const std::vector<QString> gameStyles = {"Stratégia",   "FPS",         "Kaland",     "Sport",    "Logikai",
                                         "Szerepjáték", "Autóverseny", "Szimulátor", "Ügyességi"};
const std::vector<QString> programKinds = {"Irodai csomag", "Víruskereső", "Képszerkesztő", "Böngésző",    "Levelező",
                                           "Tömörítő",      "Szótár",      "Térkép",        "Nyelvtanító", "Könyvelő",
                                           "Zenelejátszó",  "Íróprogram",  "Ütemező",       "Őrző"};
const std::vector<QString> compilationNames = {"Bulizene",     "Slágerlista", "Nyári slágerek", "Örökzöldek",
                                               "Rock ballada", "Diszkó",      "Mulatós",        "Éjszakai zene",
                                               "Ünnepi dalok", "Gyerekdalok", "Csajos esték",   "Zsúr"};

QString capitalised(QString text)
{
    if (!text.isEmpty())
        text[0] = text.at(0).toUpper();
    return text;
}

// "a" before a consonant, "az" before a vowel.
QString withArticle(const QString& words)
{
    static const QString vowels = QStringLiteral("aáeéiíoóöőuúüű");
    const bool vowel = !words.isEmpty() && vowels.contains(words.at(0).toLower());
    return (vowel ? QStringLiteral("Az ") : QStringLiteral("A ")) + words;
}

QString title(Random& random)
{
    QString result;
    switch (random.below(6)) {
    case 0:
        result = random.pick(adjectives) + QLatin1Char(' ') + random.pick(nouns);
        break;
    case 1:
        result = random.pick(nouns) + QStringLiteral(" és ") + random.pick(nouns);
        break;
    case 2:
        result =
            random.pick(nouns) + QLatin1Char(' ') + random.pick(adjectives) + QLatin1Char(' ') + random.pick(nouns);
        break;
    case 3:
        result = withArticle(random.pick(adjectives) + QLatin1Char(' ') + random.pick(nouns));
        break;
    case 4:
        result = random.pick(nouns) + QLatin1Char(' ') + QString::number(random.below(12) + 1);
        break;
    default:
        result = random.pick(adjectives) + QLatin1Char(' ') + random.pick(nouns) + QStringLiteral(" nyomában");
        break;
    }
    // Collections are typed by people: some titles are in capitals, some all in lower case.
    if (random.chance(3))
        return result.toUpper();
    if (random.chance(5))
        return result;
    return capitalised(result);
}

QString artist(Random& random)
{
    switch (random.below(4)) {
    case 0:
        return capitalised(random.pick(adjectives)) + QLatin1Char(' ') + capitalised(random.pick(nouns));
    case 1: {
        QString band = withArticle(capitalised(random.pick(nouns)));
        band[0] = band.at(0).toLower();
        return random.pick(familyNames) + QStringLiteral(" és ") + band;
    }
    default:
        return random.pick(familyNames) + QLatin1Char(' ') + random.pick(givenNames);
    }
}

QString two(int value)
{
    return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0'));
}

QString duration(Random& random, int maxHours, int minMinutes, int maxMinutes = 59)
{
    const int hours = maxHours > 0 ? random.below(maxHours + 1) : 0;
    const int minutes = hours == 0 ? minMinutes + random.below(maxMinutes - minMinutes + 1) : random.below(60);
    return two(hours) + QLatin1Char(':') + two(minutes) + QLatin1Char(':') + two(random.below(60));
}

QString megabytes(Random& random, int low, int high)
{
    return QStringLiteral("%1,%2 MB").arg(low + random.below(high - low + 1)).arg(random.below(10));
}

QString code(Random& random, const QString& kind)
{
    return QStringLiteral("%1-%2").arg(kind).arg(random.below(5000), 4, 10, QLatin1Char('0'));
}

QString joined(Random& random, const std::vector<QString>& choices, int most)
{
    QStringList items;
    const int count = 1 + random.below(most);
    for (int i = 0; i < count; ++i) {
        const QString& item = random.pick(choices);
        if (!items.contains(item))
            items << item;
    }
    return items.join(QStringLiteral(", "));
}

using Progress = std::function<void(quint64 done, quint64 total)>;

// The rows written so far, told now and then.
struct Counter
{
    const Progress& report;
    quint64 total = 0;
    quint64 done = 0;
    void add()
    {
        if (++done % 4096 == 0 || done == total)
            report(done, total);
    }
};

// The made-up rows into a catalogue's bulk write, a table at a time, each row's values in the order of the
// table's columns.
class RowWriter
{
public:
    RowWriter(engine::BulkWrite& out, Counter& counter) : m_out(out), m_counter(counter) {}

    void start(const QString& name)
    {
        for (const engine::TableDefinition& table : engine::catalogueTables())
            if (table.name == name)
                return m_out.startTable(table);
        throw platform::Failure(QStringLiteral("no table %1 in a catalogue").arg(name));
    }
    void row(const QStringList& values)
    {
        m_bytes.resize(static_cast<size_t>(values.size()));
        m_fields.resize(m_bytes.size());
        // An empty text stays an empty text, never a null.
        for (size_t i = 0; i < m_bytes.size(); ++i) {
            m_bytes[i] = values.at(static_cast<qsizetype>(i)).toUtf8();
            m_fields[i] = engine::Field::text(m_bytes[i]);
        }
        const QString refused = m_out.add(m_fields);
        if (!refused.isEmpty())
            throw platform::Failure(refused);
        m_counter.add();
    }
    void finish() { m_out.finishTable(); }

private:
    engine::BulkWrite& m_out;
    Counter& m_counter;
    std::vector<QByteArray> m_bytes;
    engine::Fields m_fields;
};

// The same rows for the same size and seed, whichever writer takes them.
void fill(RowWriter& out, int rows, std::uint64_t seed)
{
    Random random(seed);
    {
        // The keys are written out, as a new file would give them, so that a server catalogue whose key counter
        // has moved on still gets the same rows.
        out.start(QStringLiteral("eloado"));
        for (int i = 0; i < rows; ++i) {
            const QString name = artist(random);
            out.row({QString::number(i + 1), name, title(random)});
        }
        out.finish();
        // Albums have from none to a CD's worth of tracks; the tracks run out before the albums do.
        out.start(QStringLiteral("szamok"));
        int written = 0;
        for (std::int64_t album = 1; written < rows; ++album) {
            const bool audio = random.chance(20);
            const QString medium = audio ? QStringLiteral("Audió") : code(random, QStringLiteral("MP3"));
            const QString bitrate = audio ? QStringLiteral("Audió") : random.pick(bitrates);
            for (int track = random.below(21); track > 0 && written < rows; --track, ++written) {
                out.row({title(random), duration(random, 0, 1, 8), audio ? QString() : megabytes(random, 2, 12),
                         bitrate, medium, QString::number(album)});
            }
        }
        out.finish();
        out.start(QStringLiteral("Valogatasok"));
        for (int i = 0; i < rows; ++i) {
            out.row({artist(random) + QStringLiteral(" - ") + title(random),
                     random.pick(compilationNames) + QLatin1Char(' ') + QString::number(random.below(30) + 1),
                     duration(random, 0, 1, 8), random.pick(bitrates), megabytes(random, 2, 12),
                     code(random, QStringLiteral("CD"))});
        }
        out.finish();
        out.start(QStringLiteral("DVD_Filmek"));
        for (int i = 0; i < rows; ++i) {
            out.row({title(random), random.pick(englishWords) + QLatin1Char(' ') + random.pick(englishWords),
                     joined(random, soundTracks, 3),
                     random.chance(15) ? QStringLiteral("-") : joined(random, subtitleLanguages, 4),
                     QString::number(random.chance(85) ? 1 : 2), duration(random, 2, 0), random.pick(filmStyles)});
        }
        out.finish();
        out.start(QStringLiteral("Filmek_videoklippek"));
        for (int i = 0; i < rows; ++i) {
            out.row({title(random), capitalised(random.pick(adjectives) + QLatin1Char(' ') + random.pick(nouns)),
                     random.pick(languages), random.pick(resolutions), megabytes(random, 20, 1400),
                     duration(random, 2, 0), random.pick(filmStyles), random.pick(videoCodecs),
                     random.pick(audioCodecs)});
        }
        out.finish();
        out.start(QStringLiteral("games"));
        for (int i = 0; i < rows; ++i) {
            out.row({title(random), random.pick(gameStyles), megabytes(random, 100, 8000),
                     code(random, QStringLiteral("DVD"))});
        }
        out.finish();
        out.start(QStringLiteral("progs_other"));
        for (int i = 0; i < rows; ++i) {
            out.row({random.pick(programKinds) + QLatin1Char(' ') + QString::number(2000 + random.below(25)),
                     capitalised(random.pick(adjectives) + QLatin1Char(' ') + random.pick(nouns)),
                     megabytes(random, 1, 900), code(random, QStringLiteral("CD"))});
        }
        out.finish();
    }
}

// The rows go in all or none: a run stopped at any moment leaves no half-made catalogue (see engine::BulkWrite).
void generate(engine::Upkeep& catalogue, int rows, std::uint64_t seed, const Progress& progress)
{
    engine::WriteOptions options;
    options.purpose = QStringLiteral("generate");
    const std::unique_ptr<engine::BulkWrite> out = catalogue.write(options);
    Counter counter{progress, 7 * static_cast<quint64>(rows)};
    RowWriter writer(*out, counter);
    fill(writer, rows, seed);
    out->commit();
}

const Syntax syntax{
    QStringLiteral("mediatar-catalogue generate FILE|URI --rows N [--seed S]"),
    QStringLiteral("Writes a new catalogue with N made-up rows in each of its seven tables (Hungarian artists,\n"
                   "titles, films, games and programs). The same N and seed always give the same rows.\n"
                   "The file is written beside FILE under a temporary name and takes the name FILE only when it is\n"
                   "complete, so a stopped run leaves no half-made catalogue. An existing FILE is never overwritten.\n"
                   "FILE may be a PostgreSQL connection URI instead: the same rows then go, all or none, into the\n"
                   "catalogue there, which 'create' made and which must hold no rows yet.\n"),
    1,
    {},
    {{QStringLiteral("--rows"), QStringLiteral("N"), true, 0, 100'000'000},
     {QStringLiteral("--seed"), QStringLiteral("S"), true, 0, std::numeric_limits<qint64>::max()}},
    {QStringLiteral("--rows")}};

} // namespace

int generateCommand(const QStringList& args, Streams streams)
{
    int exitCode = 0;
    const std::optional<Arguments> parsed = parseArguments(args, syntax, streams, exitCode);
    if (!parsed)
        return exitCode;
    const std::unique_ptr<engine::Upkeep> catalogue = catalogue::upkeepFor(engine::Location(parsed->positional.at(0)));
    const int rows = parsed->value(QStringLiteral("--rows")).toInt();
    const std::uint64_t seed = parsed->value(QStringLiteral("--seed"), QStringLiteral("1")).toULongLong();
    const QString file = catalogue->location().localFile();
    if (!file.isEmpty() && QFile::exists(file)) {
        streams.err << "mediatar-catalogue generate: " << file << ": the file already exists\n";
        return 1;
    }
    ProgressLine progress(streams.err, QStringLiteral("generating"));
    const Progress shown = [&progress](quint64 done, quint64 total) { progress.show(done, total); };
    try {
        generate(*catalogue, rows, seed, shown);
    } catch (const platform::Failure& failure) {
        progress.finish();
        streams.err << "mediatar-catalogue generate: " << failure.text() << "\n";
        return 1;
    }
    progress.finish();
    streams.out << "generated " << catalogue->shownName() << " with " << rows << " rows in each table\n";
    return 0;
}

} // namespace catalogue_tool
