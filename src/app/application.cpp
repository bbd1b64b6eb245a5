// SPDX-License-Identifier: GPL-3.0-or-later

#include "app/application.h"

#include "app/desktop_setup.h"
#include "entry_dialog/entry_dialog.h"
#include "entry_dialog/help_dialog.h"
#include "main_window/main_window.h"
#include "platform/failure.h"
#include "platform/qt_platform.h"

#include <QApplication>
#include <QScreen>

namespace {

// The last line of defence: a failure that escapes a handler still ends only that handler.
class MediatarApplication : public QApplication
{
public:
    MediatarApplication(int& argc, char** argv, platform::ErrorReport& errors)
        : QApplication(argc, argv), m_errors(errors)
    {
    }

    bool notify(QObject* receiver, QEvent* event) override
    {
        bool handled = false;
        platform::runHandler(m_errors, [&] { handled = QApplication::notify(receiver, event); });
        return handled;
    }

private:
    platform::ErrorReport& m_errors;
};

} // namespace

int runMediatar(int argc, char* argv[], const QString& catalogue)
{
    platform::QtPlatform desktop;
    platform::Services services = desktop.services();
    MediatarApplication app(argc, argv, services.errors);
    platform::keepSystemTextsInEnglish();
    QApplication::setApplicationName(QStringLiteral("Médiatár"));
    desktop_setup::prepareDesktop(app);

    // The three windows, each once and in this order; the two dialogs belong to the main window and close with it.
    TFoablak mainWindow(services, catalogue);
    auto* entryDialog = new TRogzites(mainWindow.editState(), &mainWindow);
    mainWindow.setEntryDialog(entryDialog);
    entryDialog->setHelpDialog(new Thang_felirat_help(&mainWindow));
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame = mainWindow.frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        mainWindow.move(frame.topLeft());
    }
    mainWindow.show();
    return QApplication::exec();
}
