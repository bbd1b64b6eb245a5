// SPDX-License-Identifier: GPL-3.0-or-later

#include "catalogue_tool/commands.h"
#include "platform/failure.h"
#include "engine/location.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char* argv[])
{
    // The arguments as given, passwords in them included; the process list shows them without.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    engine::Location::hidePasswordsFromProcessList(argc, argv);
    QCoreApplication app(argc, argv);
    platform::keepSystemTextsInEnglish();
    QTextStream out(stdout);
    QTextStream err(stderr);
    return catalogue_tool::run(arguments, {out, err});
}
