// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include <QLineEdit>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;

// A one-line edit with its caption label above it. The label goes with the edit: it is greyed when the
// edit is disabled and its accelerator letter moves the focus into the edit.
class LabeledEdit : public QLineEdit
{
    Q_OBJECT

public:
    LabeledEdit(const QString& name, const QString& caption, QWidget* parent);

    QLabel* label() const { return m_label; }
    // Puts the label at (x, y) and the edit right below it.
    void place(int x, int y, int width);

protected:
    void changeEvent(QEvent* event) override;

private:
    QLabel* m_label;
};

namespace entry_form {

// Vertical distance from a label's top to the top of the edit below it.
constexpr int labelGap = 18;
constexpr int editHeight = 24;

LabeledEdit* labeledEdit(QWidget* parent, const QString& name, const QString& caption, int x, int y, int width);
QLabel* makeLabel(QWidget* parent, const QString& name, const QString& caption, int x, int y);
QCheckBox* makeCheckBox(QWidget* parent, const QString& name, const QString& caption, int x, int y);
QPushButton* makeButton(QWidget* parent, const QString& name, const QString& caption, const QRect& place);
QLineEdit* makeEdit(QWidget* parent, const QString& name, const QRect& place);
// Empties every field given.
void clearTexts(std::initializer_list<QLineEdit*> fields);
// Enables or disables every control given.
void setEnabled(std::initializer_list<QWidget*> controls, bool enabled);
// Shows a text in an editable drop-down with no item chosen.
void setComboText(QComboBox* combo, const QString& text);

// A thin sunken line that separates the same-value boxes from the fields.
void makeSeparator(QWidget* parent, int x, int y, int width);

// The label names the field: its accelerator moves the focus there and screen readers read it as the field's name.
void nameField(QLabel* label, QWidget* field);
// A control without a label of its own gets a name for screen readers; an editable drop-down's edit part too.
void nameControl(QWidget* control, const QString& name);

} // namespace entry_form
