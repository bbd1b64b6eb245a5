// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "platform/platform.h"

// The real desktop services, built on Qt.

namespace platform {

class QtPrompts : public Prompts
{
public:
    void information(const QString& text) override;
    Answer confirm(const QString& text) override;
};

class QtErrorReport : public ErrorReport
{
public:
    void report(const QString& text) override;
};

class QtBeeper : public Beeper
{
public:
    void beep() override;
};

class QtFileChooser : public FileChooser
{
public:
    QString chooseFile(const QString& currentName, const QString& filter, const QStringList& addresses) override;
};

class QtSaveFileChooser : public SaveFileChooser
{
public:
    QString chooseSaveFile(const QString& title, const QString& suggestedName, const QString& filter) override;
};

class QtDesktopLinks : public DesktopLinks
{
public:
    void open(const QString& target) override;
};

class QtPasswordPrompt : public PasswordPrompt
{
public:
    std::optional<QString> askPassword(const QString& shownUri, bool refused) override;
};

class QtWaiting : public Waiting
{
public:
    bool waitUntilDone(const QString& text, const std::function<WaitStep()>& step) override;
};

class ExecutableDirectory : public ProgramDirectory
{
public:
    QString path() const override;
    bool isWritable() const override;
};

// Owns one of each real service and hands them out as a bundle.
class QtPlatform
{
public:
    Services services();

private:
    QtPrompts m_prompts;
    QtErrorReport m_errors;
    QtBeeper m_beeper;
    QtFileChooser m_files;
    QtDesktopLinks m_links;
    ExecutableDirectory m_directory;
    QtSaveFileChooser m_saveFiles;
    QtPasswordPrompt m_passwords;
    QtWaiting m_waiting;
};

// The text of the password prompt for the catalogue at shownUri.
QString passwordQuestion(const QString& shownUri, bool refused);

// Message texts keep CR as their line break; a Qt box wants LF.
QString displayText(const QString& text);

} // namespace platform
