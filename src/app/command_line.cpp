// SPDX-License-Identifier: GPL-3.0-or-later

#include "app/command_line.h"

#include "engine/location.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QUrl>

namespace app {

namespace {

const QString usageText = QStringLiteral(
    "Használat: mediatar [kapcsolók] [KATALÓGUS]\n"
    "Médiatár: katalógus egy magángyűjteményről (MP3 albumok, válogatások, DVD filmek, filmek és klipek,\n"
    "játékok, programok).\n"
    "\n"
    "  KATALÓGUS        ezt a katalógust nyitja meg a legutóbbi helyett, és kilépéskor ezt jegyzi meg\n"
    "                   (egy régebbi formátumú katalógust az átalakítás kérdésével); egy PostgreSQL-szerveren\n"
    "                   levő katalógust a címével: postgresql://felhasználó@gép:port/adatbázis\n"
    "  -h, --help       kiírja ezt a leírást, és kilép\n"
    "  -v, --version    kiírja a program változatát, és kilép\n");

// The options of Qt's own that reach the program with its arguments; known here so that their values are not
// taken for a catalogue.
void addToolkitOptions(QCommandLineParser& parser)
{
    const QStringList withValue = {"platform",
                                   "platformpluginpath",
                                   "platformtheme",
                                   "plugin",
                                   "qwindowgeometry",
                                   "qwindowicon",
                                   "qwindowtitle",
                                   "display",
                                   "geometry",
                                   "title",
                                   "name",
                                   "style",
                                   "stylesheet",
                                   "session",
                                   "qmljsdebugger"};
    const QStringList flags = {"reverse", "widgetcount", "nograb", "dograb", "sync"};
    for (const QString& name : withValue) {
        QCommandLineOption option(name, QString(), QStringLiteral("value"));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
    for (const QString& name : flags) {
        QCommandLineOption option(name);
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
}

CommandLine finish(int code, const QString& output, bool toError)
{
    CommandLine line;
    line.exitCode = code;
    line.output = output;
    line.toError = toError;
    return line;
}

} // namespace

CommandLine readCommandLine(const QStringList& arguments)
{
    QCommandLineParser parser;
    // Qt's own options come with one dash ("-platform xcb"); ours work with one or two.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help"), QStringLiteral("?")});
    const QCommandLineOption version(QStringList{QStringLiteral("v"), QStringLiteral("version")});
    parser.addOption(help);
    parser.addOption(version);
    addToolkitOptions(parser);
    parser.addPositionalArgument(QStringLiteral("katalogus"), QString());

    if (!parser.parse(arguments)) {
        const QStringList unknown = parser.unknownOptionNames();
        const QString problem = unknown.isEmpty()
                                    ? parser.errorText()
                                    : QStringLiteral("ismeretlen kapcsoló: %1").arg(unknown.join(QStringLiteral(", ")));
        return finish(2, QStringLiteral("mediatar: %1\n\n%2").arg(problem, usageText), true);
    }
    if (parser.isSet(help))
        return finish(0, usageText, false);
    if (parser.isSet(version))
        return finish(0, QStringLiteral("mediatar %1\n").arg(QStringLiteral(MEDIATAR_VERSION)), false);
    const QStringList files = parser.positionalArguments();
    if (files.size() > 1)
        return finish(2, QStringLiteral("mediatar: egyszerre csak egy katalógus nyitható meg\n\n%1").arg(usageText),
                      true);

    CommandLine line;
    if (!files.isEmpty()) {
        // A file manager may hand over a file: address; the path is kept absolute, for it is remembered.
        QString file = files.constFirst();
        // A server catalogue's address is handed on as it came: it names no file, and its password, if it
        // carries one, is needed for the connection (it is left out wherever the address is shown or kept).
        if (engine::Location(file).localFile().isEmpty()) {
            line.catalogue = file;
            return line;
        }
        if (file.startsWith(QLatin1String("file:"), Qt::CaseInsensitive))
            file = QUrl(file).toLocalFile();
        if (!file.isEmpty())
            line.catalogue = QFileInfo(file).absoluteFilePath();
    }
    return line;
}

} // namespace app
