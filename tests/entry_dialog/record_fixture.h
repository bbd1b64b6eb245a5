// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "entry_fixture.h"

// The dialog ready to record: the refusal texts in their slots, and every statement the dialog sends kept
// in its written-out form.
class RecordFixture : public EntryFixture
{
protected:
    void SetUp() override
    {
        startAll();
        for (int slot = 20511; slot <= 20524; ++slot)
            window().textSlots().set(slot, QStringLiteral("hiba %1").arg(slot));
        QObject::connect(&dialog(), &TRogzites::statementSent, [this](const QString& text) { sent << text; });
    }

    void press(const char* button = "Rogzit_new") { click(QString::fromLatin1(button)); }
    // The rows of a table as the file holds them, in insertion order.
    QList<QVariantList> tableRows(const QString& table) const
    {
        return catalogue->rows(QStringLiteral("SELECT * FROM ") + table + QStringLiteral(" ORDER BY rowid"));
    }
    static QVariantList values(std::initializer_list<const char*> texts)
    {
        QVariantList list;
        for (const char* text : texts)
            list << QString::fromUtf8(text);
        return list;
    }
    void fill(std::initializer_list<std::pair<const char*, const char*>> fields)
    {
        for (const auto& [name, value] : fields)
            edit(QString::fromLatin1(name))->setText(QString::fromUtf8(value));
    }
    // A press refused by the check of the slot: its message (after a beep, unless said otherwise), nothing
    // sent to the catalogue.
    void expectRefusal(int slot, bool beep = true)
    {
        const int beepsBefore = desktop.beeper.beeps;
        desktop.prompts.informations.clear();
        sent.clear();
        press();
        EXPECT_EQ(desktop.prompts.informations, QStringList({QStringLiteral("hiba %1").arg(slot)})) << slot;
        EXPECT_EQ(desktop.beeper.beeps - beepsBefore, beep ? 1 : 0) << slot;
        EXPECT_TRUE(sent.isEmpty()) << slot;
        EXPECT_TRUE(dialog().isVisible()) << slot;
    }
    void expectNoErrors() const
    {
        EXPECT_TRUE(desktop.errors.reports.isEmpty()) << desktop.errors.reports.join('\n').toStdString();
    }

    QStringList sent;
};
