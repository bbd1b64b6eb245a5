// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QHash>
#include <QString>

namespace localisation {

// The localisable texts by language-file ID. Every slot is empty until the main language pass writes it,
// and an empty slot shows as an empty text: there is no built-in substitute.
class TextSlots
{
public:
    QString text(int id) const { return m_texts.value(id); }
    void set(int id, const QString& text) { m_texts.insert(id, text); }
    bool isSet(int id) const { return m_texts.contains(id); }
    void clear() { m_texts.clear(); }

private:
    QHash<int, QString> m_texts;
};

} // namespace localisation
