#include "catalogue_tool/arguments.h"

namespace catalogue_tool {

std::optional<Arguments> parseArguments(const QStringList& args, const Syntax& syntax, Streams streams, int& exitCode)
{
    if (args.contains(QLatin1String("--help"))) {
        streams.out << "usage: " << syntax.usage << "\n" << syntax.description;
        exitCode = 0;
        return std::nullopt;
    }
    exitCode = 2;
    Arguments parsed;
    for (const QString& arg : args) {
        if (arg.startsWith(QLatin1String("--")) && arg.size() > 2) {
            if (!syntax.flags.contains(arg)) {
                streams.err << "mediatar-catalogue: unknown option '" << arg << "'\nusage: " << syntax.usage << "\n";
                return std::nullopt;
            }
            parsed.flags.insert(arg);
        } else {
            parsed.positional << arg;
        }
    }
    if (parsed.positional.size() != syntax.positionalCount) {
        streams.err << "usage: " << syntax.usage << "\n";
        return std::nullopt;
    }
    return parsed;
}

} // namespace catalogue_tool
