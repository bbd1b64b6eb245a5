// SPDX-License-Identifier: GPL-3.0-or-later

#include "main_window/main_window.h"

#include "engine/location.h"

// The password of a server catalogue is typed at most once for an opening: the trial connection asks, and the
// two channels, and their reconnections later, find it here. It is never written anywhere.

engine::PasswordSource TFoablak::passwordSource()
{
    return [this](const QString& shownUri) -> std::optional<QString> {
        const auto kept = m_serverPasswords.constFind(shownUri);
        if (kept != m_serverPasswords.constEnd())
            return *kept;
        ++m_passwordPrompts;
        const bool refused = m_passwordRefused;
        m_passwordRefused = false;
        const std::optional<QString> typed = m_services.passwords.askPassword(shownUri, refused);
        if (typed)
            m_serverPasswords.insert(shownUri, *typed);
        return typed;
    };
}

void TFoablak::forgetServerPassword(const QString& uri)
{
    m_serverPasswords.remove(engine::Location(uri).shownName());
}

void TFoablak::keepServerPasswordOnlyFor(const QString& catalogue)
{
    const engine::Location location(catalogue);
    const QString shown = location.mayAskPassword() ? location.shownName() : QString();
    for (auto kept = m_serverPasswords.begin(); kept != m_serverPasswords.end();) {
        if (kept.key() == shown)
            ++kept;
        else
            kept = m_serverPasswords.erase(kept);
    }
}
