// SPDX-License-Identifier: GPL-3.0-or-later

#include "entry_dialog/form_widgets.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFrame>
#include <QLabel>
#include <QPushButton>

LabeledEdit::LabeledEdit(const QString& name, const QString& caption, QWidget* parent)
    : QLineEdit(parent), m_label(new QLabel(caption, parent))
{
    setObjectName(name);
    m_label->setTextFormat(Qt::PlainText);
    m_label->setObjectName(name + QStringLiteral("_label"));
    m_label->setBuddy(this);
}

void LabeledEdit::place(int x, int y, int width)
{
    m_label->move(x, y);
    m_label->adjustSize();
    m_label->setFixedWidth(width);
    setGeometry(x, y + entry_form::labelGap, width, entry_form::editHeight);
}

void LabeledEdit::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::EnabledChange)
        m_label->setEnabled(isEnabled());
    QLineEdit::changeEvent(event);
}

namespace entry_form {

LabeledEdit* labeledEdit(QWidget* parent, const QString& name, const QString& caption, int x, int y, int width)
{
    auto* edit = new LabeledEdit(name, caption, parent);
    edit->place(x, y, width);
    return edit;
}

QLabel* makeLabel(QWidget* parent, const QString& name, const QString& caption, int x, int y)
{
    auto* label = new QLabel(caption, parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    label->move(x, y);
    label->adjustSize();
    return label;
}

QCheckBox* makeCheckBox(QWidget* parent, const QString& name, const QString& caption, int x, int y)
{
    auto* box = new QCheckBox(caption, parent);
    box->setObjectName(name);
    box->move(x, y);
    box->adjustSize();
    return box;
}

QPushButton* makeButton(QWidget* parent, const QString& name, const QString& caption, const QRect& place)
{
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(name);
    button->setGeometry(place);
    button->setAutoDefault(false);
    return button;
}

QLineEdit* makeEdit(QWidget* parent, const QString& name, const QRect& place)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setGeometry(place);
    return edit;
}

void clearTexts(std::initializer_list<QLineEdit*> fields)
{
    for (QLineEdit* field : fields)
        field->clear();
}

void setEnabled(std::initializer_list<QWidget*> controls, bool enabled)
{
    for (QWidget* control : controls)
        control->setEnabled(enabled);
}

void setComboText(QComboBox* combo, const QString& text)
{
    combo->setCurrentIndex(-1);
    combo->setEditText(text);
}

void makeSeparator(QWidget* parent, int x, int y, int width)
{
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    line->setGeometry(x, y, width, 2);
}

void nameField(QLabel* label, QWidget* field)
{
    label->setBuddy(field);
    // A list is named only by its own name, not through the label that leads to it.
    if (qobject_cast<QAbstractItemView*>(field)) {
        QString name = label->text();
        if (name.endsWith(QLatin1Char(':')))
            name.chop(1);
        field->setAccessibleName(name);
    }
}

void nameControl(QWidget* control, const QString& name)
{
    control->setAccessibleName(name);
    // On Linux a drop-down reaches screen readers by the text it shows; its name goes with it as description.
    control->setAccessibleDescription(name);
    if (auto* combo = qobject_cast<QComboBox*>(control); combo && combo->lineEdit())
        combo->lineEdit()->setAccessibleName(name);
}

} // namespace entry_form
