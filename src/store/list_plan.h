#pragma once

#include <QString>
#include <QStringList>
#include <QVariantList>

// A category list as the engine reads it a screenful at a time: the parts of its select statement, which the
// statement's own SQL joins as "SELECT columns FROM table [WHERE condition] ORDER BY order".

namespace store {

struct ListPlan
{
    QString table;                // the one table the list reads
    QString columns;              // the select list, the row identity first
    QString identity;             // the row identity: rowid, or the album key
    QString condition;            // the filter, empty for the whole table
    QVariantList conditionValues; // its bound values, in order
    QStringList order;            // the ascending ORDER BY terms, the identity last, so every row has one place
    // The filter's column is not in the order index: reading the table once and sorting what matches beats
    // walking the index and fetching every row of the table for the filter.
    bool scanTable = false;
    // A prefix search of a few plain characters on the first order column: their folded start, under which the
    // catalogue keeps the count of the rows it finds (the rows lie in one stretch of the order index). Empty
    // otherwise.
    QString countedPrefix;

    bool wholeTable() const { return condition.isEmpty(); }
    QString where() const { return condition.isEmpty() ? QString() : QStringLiteral(" WHERE ") + condition; }
    QString orderBy(bool descending = false) const
    {
        QStringList terms = order;
        if (descending) {
            for (QString& term : terms)
                term += QStringLiteral(" DESC");
        }
        return QStringLiteral(" ORDER BY ") + terms.join(QStringLiteral(", "));
    }
};

} // namespace store
