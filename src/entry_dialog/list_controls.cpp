// SPDX-License-Identifier: GPL-3.0-or-later

#include "entry_dialog/entry_dialog.h"
#include "entry_dialog/form_widgets.h"
#include "entry_dialog/list_text.h"
#include "entry_dialog/up_down.h"
#include "localisation/language_file.h"
#include "platform/failure.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QTimer>

namespace {

void removeSelected(QListWidget* list)
{
    const QList<QListWidgetItem*> selected = list->selectedItems();
    if (!selected.isEmpty())
        delete list->takeItem(list->row(selected.first()));
}

const QString listTooLong = QStringLiteral(
    "Ez a tétel már nem fér a listába: a lista szövege a tételek közti vesszőkkel és szóközökkel együtt legfeljebb "
    "%1 karakter lehet. Rövidítsd a tételt, vagy dupla kattintással vegyél ki egy másikat a listából.");

// The prompt a chooser shows when nothing is chosen; empty for any other widget.
QString promptOf(const QObject* chooser, const DvdPage& page)
{
    if (chooser == page.hang || chooser == page.hang->lineEdit())
        return entry_form::soundPrompt;
    if (chooser == page.Felirat || chooser == page.Felirat->lineEdit())
        return entry_form::subtitlePrompt;
    if (chooser == page.Stilus || chooser == page.Stilus->lineEdit())
        return entry_form::stylePrompt;
    return QString();
}

} // namespace

// Adds the chooser's text to the list unless the chooser still shows its prompt or the list text would grow
// past what the column is meant to hold. The text stays in the chooser, so the same item can be added again.
void TRogzites::addChosen(QComboBox* chooser, const QString& prompt, QListWidget* list)
{
    const QString chosen = chooser->currentText();
    if (chosen == prompt) {
        m_state.services().beeper.beep();
        return;
    }
    QStringList items;
    for (int i = 0; i < list->count(); ++i)
        items << list->item(i)->text();
    // Refused here, aloud, so that what is stored is always what the list shows.
    if (!list_text::fits(items << chosen)) {
        m_state.services().beeper.beep();
        m_state.services().prompts.information(listTooLong.arg(list_text::storedLimit));
        return;
    }
    list->addItem(chosen);
}

void TRogzites::Nyelv_hozzaadClick()
{
    addChosen(m_dvd.hang, entry_form::soundPrompt, m_dvd.Film_hangjai);
}

void TRogzites::felirat_hozzaadClick()
{
    addChosen(m_dvd.Felirat, entry_form::subtitlePrompt, m_dvd.Film_feliratai);
}

bool TRogzites::eventFilter(QObject* watched, QEvent* event)
{
    // A chooser that shows its prompt has it selected whole whenever it is entered or clicked, so that typing
    // replaces the prompt instead of adding to it.
    if (event->type() == QEvent::FocusIn || event->type() == QEvent::MouseButtonRelease) {
        const QString prompt = promptOf(watched, m_dvd);
        auto* chooser = qobject_cast<QComboBox*>(watched);
        QLineEdit* field = chooser ? chooser->lineEdit() : qobject_cast<QLineEdit*>(watched);
        if (!prompt.isEmpty() && field && field->text() == prompt) {
            if (event->type() == QEvent::FocusIn)
                QTimer::singleShot(0, field, [field, prompt] {
                    if (field->text() == prompt)
                        field->selectAll();
                });
            else
                field->selectAll();
        }
    }
    return QWidget::eventFilter(watched, event);
}

void TRogzites::Film_hangjaidblClick()
{
    removeSelected(m_dvd.Film_hangjai);
}

void TRogzites::Film_felirataidblClick()
{
    removeSelected(m_dvd.Film_feliratai);
}

void TRogzites::UpDown1Click()
{
    m_dvd.DVD_db_szam->setText(QString::number(m_dvd.UpDown1->position()));
}

void TRogzites::DVD_db_szamClick()
{
    // The number of discs recorded is the text itself; only the arrows follow it.
    // Converted by the same rule as every other whole number the program reads.
    const QString text = m_dvd.DVD_db_szam->text();
    const std::optional<int> count = localisation::convertLanguageId(text);
    if (!count) {
        // The fault is this one field's value (typed, or stored so by another program), not the catalogue's:
        // the message names the field and what it holds, and the text stays as it is until the user changes it.
        const QString holds = text.isEmpty() ? QStringLiteral("A „Mennyi DVD-n található meg a film?” mező üres.")
                                             : QStringLiteral("A „Mennyi DVD-n található meg a film?” mezőben "
                                                              "„%1” áll.")
                                                   .arg(text);
        throw platform::Failure::described(
            holds + QStringLiteral(" Ez a szöveg marad a mezőben, és így kerül a katalógusba is; a nyilak csak "
                                   "egész számot léptetnek."),
            platform::invalidInteger(text).text());
    }
    m_dvd.UpDown1->setPosition(*count);
}

void TRogzites::Audio_cdClick()
{
    const bool audioCd = m_album.Audio_cd->isChecked();
    m_album.Meret->clear();
    m_album.Tomorites->setText(audioCd ? QStringLiteral("Audió") : QString());
    m_album.Kod->setText(audioCd ? QStringLiteral("Audió") : QString());
    entry_form::setEnabled({m_album.Meret, m_album.Tomorites, m_album.Kod}, !audioCd);
}

void TRogzites::Eloado_azonosClick()
{
    // Only the enabled state follows: a tick of the album box survives while it is greyed.
    m_album.Album_azonos->setEnabled(m_album.Eloado_azonos->isChecked());
}
