// SPDX-License-Identifier: GPL-3.0-or-later

#include "entry_dialog/duration_edit.h"
#include "entry_dialog/entry_dialog.h"

#include <QTimer>

void TRogzites::wireDurations()
{
    for (int page = 0; page < 4; ++page) {
        for (DurationEdit* field : *durationFields(page)) {
            connect(field, &DurationEdit::clicked, this, [this, field] { run([=] { durationClick(field); }); });
            // Typing or pasting past the two characters is refused aloud, never cut silently.
            connect(field, &QLineEdit::inputRejected, this, [this] {
                m_state.services().beeper.beep();
                m_state.services().prompts.information(
                    QStringLiteral("Az óra, a perc és a másodperc mezőjébe legfeljebb 2 karakter írható."));
            });
            connect(field, &DurationEdit::left, this, [this, field] {
                // Taking the focus back from a refused field is no leave of the field that had it meanwhile;
                // without this two refusing fields would hand the focus to each other for ever.
                if (!m_restoringFocus)
                    run([=] { durationExit(field); });
            });
        }
    }
}

const DurationFields* TRogzites::durationFields(int page) const
{
    switch (page) {
    case 0:
        return &m_album.duration;
    case 1:
        return &m_compilation.duration;
    case 2:
        return &m_dvd.duration;
    case 3:
        return &m_clip.duration;
    default:
        return nullptr;
    }
}

void TRogzites::durationClick(DurationEdit* field)
{
    field->selectAll();
}

void TRogzites::durationExit(DurationEdit* field)
{
    if (field->text().size() == 1)
        field->setText(QLatin1Char('0') + field->text());
    if (!duration::exceedsBound(field->text(), field->bound()))
        return;
    m_state.services().beeper.beep();
    // The focus is still on its way to the next control; it is taken back once that move is over.
    QTimer::singleShot(0, field, [this, field] { restoreFocus(field); });
}

void TRogzites::restoreFocus(DurationEdit* field)
{
    // The page may have changed or the dialog closed meanwhile: a field that cannot be seen is not forced.
    if (!field->isVisible() || !field->isEnabled())
        return;
    m_restoringFocus = true;
    field->setFocus(Qt::OtherFocusReason);
    m_restoringFocus = false;
}

QString TRogzites::compose(int page) const
{
    const DurationFields& fields = *durationFields(page);
    return duration::compose(fields[0]->text(), fields[1]->text(), fields[2]->text());
}

void TRogzites::split(const QString& stored, int page)
{
    const DurationFields& fields = *durationFields(page);
    const duration::Parts parts = duration::split(stored);
    fields[0]->setText(parts.hours);
    fields[1]->setText(parts.minutes);
    fields[2]->setText(parts.seconds);
}
