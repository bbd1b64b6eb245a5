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
         {"create FILE [--seed SQL]     write a new, empty catalogue (optionally filled from a seed)", createCommand}},
        {"import", {"import LEGACY OUT [--force]  convert a catalogue of the older Jet format", importCommand}},
        {"export", {"export FILE DIR [--force]    write each table as a CSV file", exportCommand}},
        {"check", {"check FILE                   verify the file and its tables", checkCommand}},
        {"import-csv",
         {"import-csv DIR OUT [--force] read the CSV files of 'export' into a new catalogue", importCsvCommand}},
        {"backup", {"backup FILE OUT [--force]    copy a catalogue safely, also while it is in use", backupCommand}},
        {"generate",
         {"generate FILE --rows N [--seed S]  write a catalogue of N made-up rows per table", generateCommand}},
    };
    return table;
}

void usage(QTextStream& stream)
{
    stream << "usage: mediatar-catalogue COMMAND [ARGS]\n\ncommands:\n";
    for (const auto& [name, command] : commands())
        stream << "  " << command.summary << "\n";
    stream << "\nEach command takes --help.\n";
}

} // namespace

int run(const QStringList& args, Streams streams)
{
    if (args.isEmpty()) {
        usage(streams.err);
        return 2;
    }
    if (args.first() == QLatin1String("--help") || args.first() == QLatin1String("-h")) {
        usage(streams.out);
        return 0;
    }
    const auto found = commands().find(args.first());
    if (found == commands().end()) {
        streams.err << "mediatar-catalogue: unknown command '" << args.first() << "'\n";
        usage(streams.err);
        return 2;
    }
    return found->second.run(args.mid(1), streams);
}

} // namespace catalogue_tool
