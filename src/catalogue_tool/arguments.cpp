// SPDX-License-Identifier: GPL-3.0-or-later

#include "catalogue_tool/arguments.h"

#include "platform/failure.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QRegularExpression>

namespace catalogue_tool {

namespace {

QString bare(const QString& option)
{
    QString name = option;
    while (name.startsWith(QLatin1Char('-')))
        name.remove(0, 1);
    return name;
}

// The positional arguments' names as the usage line writes them: "LEGACY", "OUT".
QStringList positionalNames(const Syntax& syntax)
{
    QStringList names;
    const QStringList words = syntax.usage.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (const QString& word : words.mid(2)) {
        if (word.startsWith(QLatin1Char('-')) || word.startsWith(QLatin1Char('[')))
            break;
        names << word;
    }
    return names;
}

// Qt's sentence ("Missing value after '--rows'.") in the form of the tool's other messages.
QString asClause(QString text)
{
    text = text.trimmed();
    if (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    if (!text.isEmpty())
        text[0] = text.at(0).toLower();
    return text;
}

} // namespace

QString commandName(const Syntax& syntax)
{
    return syntax.usage.section(QLatin1Char(' '), 1, 1);
}

std::optional<Arguments> parseArguments(const QStringList& args, const Syntax& syntax, Streams streams, int& exitCode)
{
    const QString prefix = QStringLiteral("mediatar-catalogue ") + commandName(syntax) + QStringLiteral(": ");
    const auto fail = [&](const QString& what) {
        streams.err << prefix << what << "\nusage: " << syntax.usage << "\n(mediatar-catalogue help "
                    << commandName(syntax) << " tells more)\n";
        exitCode = 2;
        return std::nullopt;
    };

    // Qt's parser reads "--rows N" and "--rows=N" alike, "--" ends the options, and options may come anywhere.
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOption(QCommandLineOption(QStringList{QStringLiteral("h"), QStringLiteral("help")}));
    for (const QString& flag : syntax.flags)
        parser.addOption(QCommandLineOption(bare(flag)));
    for (const ValueOption& option : syntax.values)
        parser.addOption(QCommandLineOption(bare(option.name), QString(), option.valueName));
    if (!parser.parse(QStringList{QStringLiteral("mediatar-catalogue")} + args)) {
        const QStringList unknown = parser.unknownOptionNames();
        if (!unknown.isEmpty()) {
            const QString given =
                args.filter(QRegularExpression(
                                QStringLiteral("^-+%1(=|$)").arg(QRegularExpression::escape(unknown.first()))))
                    .value(0, QStringLiteral("--") + unknown.first())
                    .section(QLatin1Char('='), 0, 0);
            return fail(QStringLiteral("unknown option '%1'").arg(given));
        }
        return fail(asClause(parser.errorText()));
    }
    if (parser.isSet(QStringLiteral("help"))) {
        streams.out << "usage: " << syntax.usage << "\n" << syntax.description;
        exitCode = 0;
        return std::nullopt;
    }

    Arguments parsed;
    parsed.positional = parser.positionalArguments();
    for (const QString& flag : syntax.flags)
        if (parser.isSet(bare(flag)))
            parsed.flags.insert(flag);
    for (const ValueOption& option : syntax.values) {
        if (!parser.isSet(bare(option.name)))
            continue;
        // Given twice, the last one counts, as with most tools.
        const QString value = parser.values(bare(option.name)).constLast();
        if (option.wholeNumber) {
            bool number = false;
            const qint64 parsedNumber = value.toLongLong(&number);
            if (!number)
                return fail(QStringLiteral("%1: '%2' is not a whole number").arg(option.name, value));
            if (parsedNumber < option.least || parsedNumber > option.most)
                return fail(QStringLiteral("%1: %2 is out of range (%3 to %4)")
                                .arg(option.name, value)
                                .arg(option.least)
                                .arg(option.most));
        }
        parsed.values.insert(option.name, value);
    }
    for (const QString& option : syntax.required)
        if (!parsed.values.contains(option))
            return fail(QStringLiteral("%1 is missing").arg(option));

    const QStringList names = positionalNames(syntax);
    if (parsed.positional.size() > syntax.positionalCount && !syntax.firstRepeats)
        return fail(QStringLiteral("unexpected argument '%1'").arg(parsed.positional.at(syntax.positionalCount)));
    if (parsed.positional.size() < syntax.positionalCount) {
        const QString missing = names.value(parsed.positional.size(), QStringLiteral("an argument"));
        return fail(QStringLiteral("%1 is missing").arg(missing));
    }
    return parsed;
}

void checkOutputTarget(engine::Upkeep& target, const engine::WriteOptions& options)
{
    const QFileInfo info(target.location().localFile());
    if (!options.replace && !info.filePath().isEmpty() && info.exists() && !info.isDir())
        throw platform::Failure(
            QStringLiteral("%1: the file already exists (--force replaces it)").arg(target.shownName()));
    target.checkWritable(options);
}

} // namespace catalogue_tool
