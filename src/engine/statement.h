// SPDX-License-Identifier: GPL-3.0-or-later

#pragma once

#include "engine/list_plan.h"

#include <QString>
#include <QVariant>
#include <QVariantList>
#include <memory>
#include <vector>

// A statement built from fixed pieces and values. It has two forms:
// - text(): the statement as written out, each value pasted between its quote characters, exactly as the
//   user-facing behaviour describes it (the form that tests compare);
// - sql() with values(): what the engine runs, every value bound as a parameter. A value can therefore hold
//   quotes, percent signs or a column's name and is still stored and compared as that literal text.

namespace engine {

class Statement
{
public:
    Statement() = default;
    explicit Statement(const QString& fixedText) { fixed(fixedText); }

    // Fixed text, the same in both forms.
    Statement& fixed(const QString& text);
    // ⟦v⟧: the value between double quotes in the text form, a bound text parameter when run.
    Statement& quoted(const QString& value);
    // A number written bare in the text form (the album key), bound as an integer when it reads as one.
    Statement& bare(const QString& value);
    // A LIKE pattern: '<before><value><after>' in the text form; the whole pattern is bound when run.
    // The value keeps the meaning of % and _ in it.
    Statement& pattern(const QString& before, const QString& value, const QString& after);
    // "<column><equals>⟦v⟧" in the text form. For the engine an empty value also matches a NULL, since a row
    // read from the list shows a NULL as empty text; any other value matches only itself.
    Statement& compared(const QString& column, const QString& equals, const QString& value);
    // A piece only the engine sees (for example the narrowing of a change to the clicked row's identity),
    // with its own bound values.
    Statement& sqlOnly(const QString& sql, const QVariantList& values = {});
    // Text that differs between the two forms but binds nothing (a hidden column in a select list).
    Statement& piece(const QString& text, const QString& sql);

    // Marks the statement as a category list with this shape, so that its rows can be read a screenful at a
    // time. A piece added afterwards drops the mark: the statement then runs as it stands.
    Statement& readAsList(const ListPlan& plan);
    const ListPlan* listPlan() const { return m_plan.get(); }

    QString text() const;
    QString sql() const;
    QVariantList values() const;
    bool isEmpty() const { return m_pieces.empty(); }

private:
    struct Piece
    {
        QString text;
        QString sql;
        QVariantList values;
    };
    std::vector<Piece> m_pieces;
    std::shared_ptr<const ListPlan> m_plan;
};

} // namespace engine
