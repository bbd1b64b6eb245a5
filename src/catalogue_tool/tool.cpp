// SPDX-License-Identifier: GPL-3.0-or-later

#include "catalogue_tool/commands.h"

#include <functional>
#include <map>

namespace catalogue_tool {

namespace {

struct Command
{
    QString summary;
    std::function<int(const QStringList&, Streams)> run;
};

const std::map<QString, Command>& commands()
{
    static const std::map<QString, Command> table = {
        {"create",
         {"create FILE|URI [--seed SQL] write a new, empty catalogue (optionally filled from a seed)", createCommand}},
        {"import",
         {"import LEGACY OUT|URI [--force] [--salvage]  convert a catalogue of the older Jet format", importCommand}},
        {"export", {"export FILE|URI DIR [--force]  write each table as a CSV file", exportCommand}},
        {"check", {"check FILE|URI [--repair]    verify the catalogue and its tables", checkCommand}},
        {"copy", {"copy SOURCE TARGET           copy a whole catalogue between a file and a server", copyCommand}},
        {"import-csv",
         {"import-csv DIR OUT|URI [--force]  read the CSV files of 'export' into a new catalogue", importCsvCommand}},
        {"backup", {"backup FILE|URI OUT [--force]  copy a catalogue safely, also while it is in use", backupCommand}},
        {"scan",
         {"scan PATH... FILE|URI [--kind KIND] [--kod CODE] [--dry-run]  add the rows that media files say",
          scanCommand}},
        {"generate",
         {"generate FILE|URI --rows N [--seed S]  write a catalogue of N made-up rows per table", generateCommand}},
    };
    return table;
}

void usage(QTextStream& stream)
{
    stream << "usage: mediatar-catalogue COMMAND [ARGS]\n\ncommands:\n";
    for (const auto& [name, command] : commands())
        stream << "  " << command.summary << "\n";
    stream << "\n'mediatar-catalogue help COMMAND' or 'mediatar-catalogue COMMAND --help' tells more of each;\n"
              "'mediatar-catalogue --version' prints the version.\n";
}

QString version()
{
    const QString number = QStringLiteral(MEDIATAR_VERSION);
    return number.isEmpty() ? QStringLiteral("(development build)") : number;
}

} // namespace

int run(const QStringList& args, Streams streams)
{
    if (args.isEmpty()) {
        usage(streams.err);
        return 2;
    }
    const QString& first = args.first();
    if (first == QLatin1String("--help") || first == QLatin1String("-h") ||
        (first == QLatin1String("help") && args.size() == 1)) {
        usage(streams.out);
        return 0;
    }
    if (first == QLatin1String("--version") || first == QLatin1String("-V")) {
        streams.out << "mediatar-catalogue " << version() << "\n";
        return 0;
    }
    // "help import" is "import --help".
    const bool help = first == QLatin1String("help");
    const QString name = help ? args.at(1) : first;
    const auto found = commands().find(name);
    if (found == commands().end()) {
        streams.err << "mediatar-catalogue: unknown command '" << name
                    << "' ('mediatar-catalogue --help' lists the commands)\n";
        return 2;
    }
    if (help && args.size() > 2) {
        streams.err << "mediatar-catalogue help: unexpected argument '" << args.at(2) << "'\n";
        return 2;
    }
    return found->second.run(help ? QStringList{QStringLiteral("--help")} : args.mid(1), streams);
}

} // namespace catalogue_tool
