// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

// The services of the desktop that the windows use. Each is a small interface so that tests can answer
// the questions, pick the files and count the beeps without a real modal box.

namespace platform {

enum class Answer {
    Yes,
    No,
    Closed, // the box was closed by its frame's close button: neither Yes nor No
};

class Prompts
{
public:
    virtual ~Prompts() = default;
    // A plain box with the text and an OK button. CR (code 13) in the text starts a new line.
    virtual void information(const QString& text) = 0;
    // A question box with Yes (the default) and No; Escape answers No.
    virtual Answer confirm(const QString& text) = 0;
};

// The one place where a failed operation is shown to the user, with the engine's or the system's text.
class ErrorReport
{
public:
    virtual ~ErrorReport() = default;
    virtual void report(const QString& text) = 0;
};

class Beeper
{
public:
    virtual ~Beeper() = default;
    virtual void beep() = 0;
};

class FileChooser
{
public:
    virtual ~FileChooser() = default;
    // Shows the open dialog starting at currentName; returns the chosen path, or currentName when cancelled.
    // The chosen file need not exist. A catalogue's address (scheme://...) typed as the name, or picked from the
    // addresses offered (remembered ones, without passwords), is given back as it stands; currentName may be
    // such an address too.
    virtual QString chooseFile(const QString& currentName, const QString& filter, const QStringList& addresses) = 0;
};

class SaveFileChooser
{
public:
    virtual ~SaveFileChooser() = default;
    // Shows the save dialog with its title, starting at suggestedName (a folder and a file name); returns the
    // chosen path, or an empty text when cancelled. The dialog itself asks before an existing file is replaced.
    virtual QString chooseSaveFile(const QString& title, const QString& suggestedName, const QString& filter) = 0;
};

class DesktopLinks
{
public:
    virtual ~DesktopLinks() = default;
    // Opens a web address or a mailto: link with the user's default program; failures are ignored.
    virtual void open(const QString& target) = 0;
};

class PasswordPrompt
{
public:
    virtual ~PasswordPrompt() = default;
    // Asks for the password of a server catalogue, named by its URI without any password; nothing when the
    // user declines. The answer is never stored: it lives only as long as the connection needs it.
    // refused: the server has just refused the password the user typed for it, which the prompt says.
    virtual std::optional<QString> askPassword(const QString& shownUri, bool refused) = 0;
};

class ProgramDirectory
{
public:
    virtual ~ProgramDirectory() = default;
    // The directory of the executable, ending in a directory separator.
    virtual QString path() const = 0;
    // Whether the program may keep its settings there: otherwise they go to the user's configuration folder.
    virtual bool isWritable() const = 0;
};

// What a slow operation waits for next: its socket ready for reading or for writing, or nothing (it is done).
// wakeAfter: milliseconds after which the step is run again even if the socket stays quiet (a deadline to
// check); negative for none.
struct WaitStep
{
    bool done = false;
    int socket = -1;
    bool forWriting = false;
    int wakeAfter = -1;
};

// How long a wait goes before its window shows: a quick answer shows nothing.
constexpr int waitingWindowDelay = 400;

class Waiting
{
public:
    virtual ~Waiting() = default;
    // Runs step each time the socket it names is ready, until it says the operation is done; gives true then.
    // The windows stay painted meanwhile, and after a moment a small window with the text and Mégse shows. False
    // when the user pressed Mégse: the caller then gives the operation up.
    virtual bool waitUntilDone(const QString& text, const std::function<WaitStep()>& step) = 0;
};

// The bundle handed to the windows.
struct Services
{
    Prompts& prompts;
    ErrorReport& errors;
    Beeper& beeper;
    FileChooser& files;
    DesktopLinks& links;
    ProgramDirectory& programDirectory;
    SaveFileChooser& saveFiles;
    PasswordPrompt& passwords;
    Waiting& waiting;
};

} // namespace platform
