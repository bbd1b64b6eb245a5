#include "catalogue_tool/arguments.h"

namespace catalogue_tool {

std::optional<Arguments> parseArguments(const QStringList& args, const QStringList& allowedFlags, int positionalCount,
                                        const QString& usage, QTextStream& err)
{
    Arguments parsed;
    for (const QString& arg : args) {
        if (arg.startsWith(QLatin1String("--")) && arg.size() > 2) {
            if (!allowedFlags.contains(arg)) {
                err << "mediatar-catalogue: unknown option '" << arg << "'\nusage: " << usage << "\n";
                return std::nullopt;
            }
            parsed.flags.insert(arg);
        } else {
            parsed.positional << arg;
        }
    }
    if (parsed.positional.size() != positionalCount) {
        err << "usage: " << usage << "\n";
        return std::nullopt;
    }
    return parsed;
}

} // namespace catalogue_tool
