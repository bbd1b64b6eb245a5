// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "platform/platform.h"

#include <QStringList>
#include <deque>
#include <optional>

// Desktop services that answer from a script and record what they were asked, for tests and benchmarks.

namespace platform {

class ScriptedPrompts : public Prompts
{
public:
    void information(const QString& text) override;
    Answer confirm(const QString& text) override;

    void answerNext(Answer answer) { m_answers.push_back(answer); }
    // What a confirmation answers when the script has run out.
    void setDefaultAnswer(Answer answer) { m_defaultAnswer = answer; }

    QStringList informations;  // texts of the plain boxes, in order
    QStringList confirmations; // texts of the questions, in order

private:
    std::deque<Answer> m_answers;
    Answer m_defaultAnswer = Answer::No;
};

class ScriptedErrorReport : public ErrorReport
{
public:
    void report(const QString& text) override { reports.append(text); }
    QStringList reports;
};

class ScriptedBeeper : public Beeper
{
public:
    void beep() override { ++beeps; }
    int beeps = 0;
};

class ScriptedFileChooser : public FileChooser
{
public:
    QString chooseFile(const QString& currentName, const QString& filter, const QStringList& addresses) override;

    // Scripts the next dialog: a chosen path, or a cancel that keeps the current name.
    // A dialog with nothing scripted is cancelled.
    void chooseNext(const QString& path) { m_choices.push_back(path); }
    void cancelNext() { m_choices.push_back(std::nullopt); }

    int shown = 0;
    QString lastFilter;
    QStringList lastAddresses; // the addresses the last dialog offered
    QStringList startedAt;     // the name each dialog started at, in order

private:
    std::deque<std::optional<QString>> m_choices;
};

class ScriptedSaveFileChooser : public SaveFileChooser
{
public:
    QString chooseSaveFile(const QString& title, const QString& suggestedName, const QString& filter) override;

    // Scripts the next save dialog: a chosen path, or a cancel. A dialog with nothing scripted is cancelled.
    void chooseNext(const QString& path) { m_choices.push_back(path); }
    void cancelNext() { m_choices.push_back(QString()); }

    int shown = 0;
    QString lastTitle;
    QString lastSuggestion;
    QString lastFilter;

private:
    std::deque<QString> m_choices;
};

class ScriptedDesktopLinks : public DesktopLinks
{
public:
    void open(const QString& target) override { opened.append(target); }
    QStringList opened;
};

class ScriptedPasswordPrompt : public PasswordPrompt
{
public:
    std::optional<QString> askPassword(const QString& shownUri, bool refused) override;

    // Scripts the next prompt: a password typed and confirmed, or Mégse. A prompt with nothing scripted is
    // declined.
    void answerNext(const QString& password) { m_answers.push_back(password); }
    void declineNext() { m_answers.push_back(std::nullopt); }

    QStringList asked;         // the URIs shown by the prompts, in order
    QList<bool> refusedBefore; // whether each prompt said that the last password was refused

private:
    std::deque<std::optional<QString>> m_answers;
};

class FixedProgramDirectory : public ProgramDirectory
{
public:
    explicit FixedProgramDirectory(QString path) : m_path(std::move(path)) {}
    QString path() const override { return m_path; }
    // The folder's own answer unless a test has made it read-only (as an installed program's folder is).
    bool isWritable() const override;
    void makeReadOnly() { m_readOnly = true; }

private:
    QString m_path;
    bool m_readOnly = false;
};

// One of each scripted service, bundled.
// Waits as the real service does, without a window: the texts it would show are kept, and Mégse is pressed when
// the script says.
class ScriptedWaiting : public Waiting
{
public:
    bool waitUntilDone(const QString& text, const std::function<WaitStep()>& step) override;

    // The next wait is given up after this long, as a user's Mégse would.
    void cancelNextAfter(int milliseconds) { m_cancelAfter = milliseconds; }

    QStringList shownTexts; // the texts of the waits that lasted long enough to show their window
    int waits = 0;          // every wait, short ones included

private:
    int m_cancelAfter = -1;
};

class ScriptedPlatform
{
public:
    explicit ScriptedPlatform(const QString& programDirectory) : directory(programDirectory) {}
    Services services()
    {
        return Services{prompts, errors, beeper, files, links, directory, saveFiles, passwords, waiting};
    }

    ScriptedPrompts prompts;
    ScriptedErrorReport errors;
    ScriptedBeeper beeper;
    ScriptedFileChooser files;
    ScriptedDesktopLinks links;
    FixedProgramDirectory directory;
    ScriptedSaveFileChooser saveFiles;
    ScriptedPasswordPrompt passwords;
    ScriptedWaiting waiting;
};

} // namespace platform
