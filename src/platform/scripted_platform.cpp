// SPDX-License-Identifier: GPL-3.0-or-later

#include "platform/scripted_platform.h"

#include "platform/folders.h"

#include <QElapsedTimer>
#include <algorithm>
#include <poll.h>
#include <utility>

namespace platform {

void ScriptedPrompts::information(const QString& text)
{
    informations.append(text);
}

Answer ScriptedPrompts::confirm(const QString& text)
{
    confirmations.append(text);
    if (m_answers.empty())
        return m_defaultAnswer;
    const Answer answer = m_answers.front();
    m_answers.pop_front();
    return answer;
}

QString ScriptedFileChooser::chooseFile(const QString& currentName, const QString& filter, const QStringList& addresses)
{
    ++shown;
    lastFilter = filter;
    lastAddresses = addresses;
    startedAt.append(currentName);
    if (m_choices.empty())
        return currentName;
    const std::optional<QString> choice = m_choices.front();
    m_choices.pop_front();
    return choice.value_or(currentName);
}

QString ScriptedSaveFileChooser::chooseSaveFile(const QString& title, const QString& suggestedName,
                                                const QString& filter)
{
    ++shown;
    lastTitle = title;
    lastSuggestion = suggestedName;
    lastFilter = filter;
    if (m_choices.empty())
        return QString();
    const QString choice = m_choices.front();
    m_choices.pop_front();
    return choice;
}

std::optional<QString> ScriptedPasswordPrompt::askPassword(const QString& shownUri, bool refused)
{
    asked.append(shownUri);
    refusedBefore.append(refused);
    if (m_answers.empty())
        return std::nullopt;
    const std::optional<QString> answer = m_answers.front();
    m_answers.pop_front();
    return answer;
}

bool FixedProgramDirectory::isWritable() const
{
    return !m_readOnly && isWritableFolder(m_path);
}

bool ScriptedWaiting::waitUntilDone(const QString& text, const std::function<WaitStep()>& step)
{
    ++waits;
    const int cancelAfter = std::exchange(m_cancelAfter, -1);
    QElapsedTimer since;
    since.start();
    bool shown = false;
    for (;;) {
        const WaitStep next = step();
        if (next.done)
            return true;
        if (!shown && since.elapsed() >= waitingWindowDelay) {
            shown = true;
            shownTexts.append(text);
        }
        if (cancelAfter >= 0 && since.elapsed() >= cancelAfter)
            return false;
        pollfd ready{next.socket, short(next.forWriting ? POLLOUT : POLLIN), 0};
        ::poll(&ready, 1, next.wakeAfter >= 0 ? std::min(next.wakeAfter, 10) : 10);
    }
}

} // namespace platform
