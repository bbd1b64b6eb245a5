// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/failure.h"

#include <QRegularExpression>
#include <cerrno>
#include <clocale>
#include <cstring>
#include <vector>

namespace platform {

namespace {

const QChar CR(13);

QString quotedName(const QString& name)
{
    return QStringLiteral("„") + name + QStringLiteral("”");
}

// The engine's texts that name a table or a column after a colon.
struct NamedText
{
    const char* prefix;
    const char* meaning; // %1 is the name
};

const NamedText namedTexts[] = {
    {"no such table: ", "A katalógusban nincs %1 nevű tábla: a file nem a program katalógusa, vagy hiányzik belőle "
                        "egy tábla."},
    {"no such column: ", "A katalógus egy táblájában nincs %1 nevű oszlop."},
};

// The engine's fixed texts (SQLite's result-code texts) and the runtime's own.
struct FixedText
{
    const char* text;
    const char* meaning;
};

const FixedText fixedTexts[] = {
    {"unable to open database file",
     "A katalógus file nem nyitható meg: nem létezik, a mappája nem érhető el, vagy nincs hozzá jogosultság."},
    {"file is not a database", "A file nem adatbázis: nem a program katalógusa, vagy sérült."},
    {"attempt to write a readonly database",
     "A katalógus csak olvasható (írásvédett file, mappa vagy adathordozó), ezért nem módosítható."},
    {"database is locked", "A katalógust egy másik program éppen módosítja; próbáld újra később."},
    {"database table is locked", "A katalógus egy tábláját éppen más használja; próbáld újra később."},
    {"disk I/O error", "Olvasási vagy írási hiba történt az adathordozón."},
    {"database or disk is full", "Megtelt az adathordozó, vagy a katalógus elérte a legnagyobb méretét."},
    {"database disk image is malformed", "A katalógus file sérült."},
    {"database schema has changed", "A katalógus szerkezetét közben egy másik program megváltoztatta."},
    {"out of memory", "Elfogyott a memória."},
    {"interrupted", "A művelet megszakadt."},
    {"constraint failed", "A változás sértené a katalógus egy szabályát."},
    {"Operation is not allowed when the object is closed.", "A lista nincs megnyitva."},
    {"database not open", "A katalógus nincs megnyitva."},
    {"Driver not loaded", "Az adatbázis-illesztő nem tölthető be."},
};

// The texts of the PostgreSQL client library and server, found anywhere in a message: libpq puts the server's
// address before them and a hint after them, over several lines. Looked at in this order, so that the most
// telling part of a message wins (a refused password over the connection it came through).
struct ServerText
{
    const char* pattern; // a regular expression, matched case-sensitively as libpq writes it
    const char* meaning; // %1 is the first captured name, if the pattern has one
};

const ServerText serverTexts[] = {
    // The client library is loaded only when a server catalogue is opened: a machine may well be without it.
    {"the PostgreSQL client library cannot be loaded: ([^:\\s]+)",
     "Ezen a gépen nincs meg a PostgreSQL-szerverek eléréséhez szükséges %1 könyvtár, ezért szerveren tárolt "
     "katalógus nem nyitható meg; a file-ban tárolt katalógusok ettől még használhatók. A könyvtárat a libpq5 "
     "csomag telepíti."},
    {"the PostgreSQL client library is too old: (\\S+)",
     "A gépen levő PostgreSQL-ügyfélkönyvtár (%1) túl régi, legalább a 14-es változata kell, ezért szerveren "
     "tárolt katalógus nem nyitható meg."},
    {"password authentication failed", "A szerver nem fogadta el a jelszót (vagy a felhasználó nevét)."},
    {"no password supplied", "A szerver jelszót kér, de nem kapott jelszót."},
    {"role \"([^\"]*)\" does not exist", "A szerveren nincs %1 nevű felhasználó."},
    {"database \"([^\"]*)\" does not exist", "A szerveren nincs %1 nevű adatbázis."},
    {"relation \"([^\"]*)\" does not exist",
     "Az adatbázisban nincs %1 nevű tábla: nem a program katalógusa (a mediatar-catalogue create parancs "
     "készít katalógust a szerveren), vagy hiányzik belőle egy tábla."},
    {"permission denied for (?:table|relation|sequence) (\\S+)",
     "A felhasználónak nincs joga a katalógus %1 táblájához."},
    {"permission denied for database \"?([^\"\\s]*)", "A felhasználónak nincs joga a szerver %1 adatbázisához."},
    {"no pg_hba\\.conf entry", "A szerver erről a gépről ezzel a felhasználóval nem enged be."},
    {"(?:Peer|Ident) authentication failed",
     "A szerver csak a gépen azonos nevű felhasználót engedi be ezen a kapcsolaton."},
    // An ended session first: over TLS libpq says "SSL connection has been closed unexpectedly", which is no
    // fault of the encryption.
    {"terminating connection due to administrator command",
     "A szervert leállították vagy újraindították, és közben bontotta a kapcsolatot."},
    {"server closed the connection unexpectedly|SSL connection has been closed unexpectedly",
     "A szerver váratlanul bontotta a kapcsolatot (leállt, újraindult, vagy megszakadt a hálózat)."},
    {"SSL|certificate", "A titkosított (TLS) kapcsolat nem jött létre: a szerver nem támogatja, vagy a tanúsítványa "
                        "nem fogadható el."},
    {"timeout expired", "A szerver nem válaszolt időben."},
    {"canceling statement due to lock timeout",
     "A katalógust egy másik felhasználó éppen módosítja, és nem engedte el időben; semmi sem változott, próbáld "
     "újra később."},
    {"canceling statement due to statement timeout",
     "A szerver nem végezte el a műveletet időben (túlterhelt, vagy nem válaszol); semmi sem változott."},
    {"canceling statement due to user request", "A művelet megszakadt; semmi sem változott."},
    {"connection attempt cancelled", "A kapcsolódást megszakítottad."},
    {"the server did not answer a COMMIT; connection given up",
     "A szerver nem válaszolt, ezért a program bontotta a kapcsolatot. Nem tudni, a szerver beírta-e a "
     "módosítást: nézd meg a listában."},
    {"the server did not answer; connection given up",
     "A szerver nem válaszolt, ezért a program bontotta a kapcsolatot; semmi sem változott."},
    {"invalid (?:URI query parameter:|connection option) \"([^\"]*)\"",
     "A szerver címében ismeretlen paraméter áll: %1."},
    {"the database system is (?:starting up|shutting down|in recovery mode)",
     "A szerver éppen indul vagy leáll; próbáld újra később."},
    {"too many clients", "A szerverhez túl sokan kapcsolódnak; próbáld újra később."},
    {"could not translate host name", "A szerver gépének neve nem található."},
    {"Connection refused|No route to host|Network is unreachable|Connection timed out",
     "A szerver nem érhető el: a megadott gépen és porton nem fut PostgreSQL-szerver, vagy a hálózat nem "
     "engedi el hozzá."},
    {"on socket .*failed: No such file or directory|could not connect to server",
     "A szerver nem érhető el: a megadott helyen nem fut PostgreSQL-szerver."},
    {"no connection to the server|could not (?:receive|send) data (?:from|to) server|connection to server was lost",
     "Megszakadt a kapcsolat a szerverrel."},
};

QString explainServerText(const QString& text)
{
    // Compiled once: the table is fixed.
    static const std::vector<QRegularExpression> patterns = [] {
        std::vector<QRegularExpression> compiled;
        for (const ServerText& known : serverTexts)
            compiled.emplace_back(QString::fromUtf8(known.pattern), QRegularExpression::DotMatchesEverythingOption);
        return compiled;
    }();
    for (std::size_t i = 0; i < patterns.size(); ++i) {
        const QRegularExpressionMatch match = patterns[i].match(text);
        if (!match.hasMatch())
            continue;
        const QString meaning = QString::fromUtf8(serverTexts[i].meaning);
        return match.lastCapturedIndex() >= 1 ? meaning.arg(quotedName(match.captured(1))) : meaning;
    }
    return QString();
}

// What the system says about a file, by its error number.
QString systemMeaning(int error)
{
    switch (error) {
    case EACCES:
    case EPERM:
        return QStringLiteral("Nincs jogosultság a file-hoz vagy a mappájához.");
    case ENOENT:
        return QStringLiteral("A file vagy a mappája nem létezik.");
    case EROFS:
        return QStringLiteral("Az adathordozó csak olvasható.");
    case ENOSPC:
    case EDQUOT:
        return QStringLiteral("Megtelt az adathordozó.");
    case EISDIR:
        return QStringLiteral("A megadott név egy mappáé, nem file-é.");
    case ENOTDIR:
        return QStringLiteral("Az útvonal egy része nem mappa.");
    case EEXIST:
        return QStringLiteral("Már létezik ilyen nevű file.");
    case EIO:
        return QStringLiteral("Olvasási vagy írási hiba történt az adathordozón.");
    case EBUSY:
    case ETXTBSY:
        return QStringLiteral("A file-t éppen más használja.");
    case ENAMETOOLONG:
        return QStringLiteral("A file neve vagy útvonala túl hosszú.");
    case EMFILE:
    case ENFILE:
        return QStringLiteral("Túl sok file van nyitva.");
    default:
        return QString();
    }
}

// The system's error texts end a message, after the file's name and a colon ("/a/b: Permission denied").
QString explainSystemText(const QString& text)
{
    for (int error = 1; error < 134; ++error) {
        const QString known = QString::fromLocal8Bit(std::strerror(error));
        if (known.isEmpty() || !text.endsWith(known))
            continue;
        const qsizetype start = text.size() - known.size();
        if (start == 0 || text.mid(start - 2, 2) == QLatin1String(": "))
            return systemMeaning(error);
    }
    return QString();
}

} // namespace

void keepSystemTextsInEnglish()
{
    // Only the messages' category: numbers, dates and the code page stay the user's. gettext ignores LANGUAGE
    // under the "C" messages locale, so libpq's and the C library's texts come untranslated.
    std::setlocale(LC_MESSAGES, "C");
}

Failure Failure::described(const QString& couldNotDo, const QString& original)
{
    return Failure(failureReport(couldNotDo, original), original, true);
}

QString explainOriginal(const QString& original)
{
    const QString text = original.trimmed();
    for (const FixedText& fixed : fixedTexts) {
        if (text.compare(QLatin1String(fixed.text), Qt::CaseInsensitive) == 0)
            return QString::fromUtf8(fixed.meaning);
    }
    for (const NamedText& named : namedTexts) {
        if (text.startsWith(QLatin1String(named.prefix), Qt::CaseInsensitive))
            return QString::fromUtf8(named.meaning).arg(quotedName(text.mid(qstrlen(named.prefix))));
    }
    static const QRegularExpression noColumn(QStringLiteral("^table (\\S+) has no column named (\\S+)$"));
    if (const QRegularExpressionMatch match = noColumn.match(text); match.hasMatch())
        return QStringLiteral("A katalógus %1 táblájában nincs %2 nevű oszlop.")
            .arg(quotedName(match.captured(1)), quotedName(match.captured(2)));
    static const QRegularExpression syntax(QStringLiteral("^near \".*\": syntax error$"));
    if (syntax.match(text).hasMatch())
        return QStringLiteral("Az adatbázismotor nem értette a neki küldött utasítást.");
    static const QRegularExpression notInteger(QStringLiteral("^'.*' is not a valid integer value$"),
                                               QRegularExpression::DotMatchesEverythingOption);
    if (notInteger.match(text).hasMatch())
        return QStringLiteral("A szöveg nem egész szám.");
    static const QRegularExpression noField(QStringLiteral("Field '(.*)' not found$"));
    if (const QRegularExpressionMatch match = noField.match(text); match.hasMatch())
        return QStringLiteral("A listában nincs %1 nevű oszlop.").arg(quotedName(match.captured(1)));
    if (text.contains(QLatin1String("constraint failed"), Qt::CaseInsensitive))
        return QStringLiteral("A változás sértené a katalógus egy szabályát.");
    if (const QString server = explainServerText(text); !server.isEmpty())
        return server;
    return explainSystemText(text);
}

bool isForeignText(const QString& text)
{
    if (!explainOriginal(text).isEmpty())
        return true;
    // The program's own messages are Hungarian, and a Hungarian sentence hardly goes without an accented
    // letter; the engine's and the system's texts come in English here.
    static const QString accented = QStringLiteral("áéíóöőúüűÁÉÍÓÖŐÚÜŰ");
    for (const QChar c : text) {
        if (accented.contains(c))
            return false;
    }
    return !text.trimmed().isEmpty();
}

QString failureReport(const QString& couldNotDo, const QString& original)
{
    QString report = couldNotDo.isEmpty() ? QStringLiteral("A művelet nem sikerült.") : couldNotDo;
    const QString meaning = explainOriginal(original);
    if (!meaning.isEmpty())
        report += CR + meaning;
    report += QString(CR) + CR + QStringLiteral("Eredeti üzenet: ") + original;
    return report;
}

QString reportedText(const Failure& failure, const QString& couldNotDo)
{
    if (failure.isDescribed() || !isForeignText(failure.text()))
        return failure.text();
    return failureReport(couldNotDo, failure.text());
}

} // namespace platform
