// SPDX-License-Identifier: GPL-3.0-or-later

#include "engine/statement.h"

namespace engine {

namespace {
const QString placeholder = QStringLiteral("?");
}

Statement& Statement::fixed(const QString& text)
{
    m_plan.reset();
    m_pieces.push_back({text, text, {}});
    return *this;
}

Statement& Statement::quoted(const QString& value)
{
    m_plan.reset();
    // An empty value is the empty text "", never NULL, also when it comes as a null string.
    const QString text = value.isNull() ? QStringLiteral("") : value;
    m_pieces.push_back({QLatin1Char('"') + text + QLatin1Char('"'), placeholder, {text}});
    return *this;
}

Statement& Statement::bare(const QString& value)
{
    m_plan.reset();
    bool isNumber = false;
    const qlonglong number = value.toLongLong(&isNumber);
    m_pieces.push_back({value, placeholder, {isNumber ? QVariant(number) : QVariant(value)}});
    return *this;
}

Statement& Statement::pattern(const QString& before, const QString& value, const QString& after)
{
    m_plan.reset();
    const QString whole = before + value + after;
    m_pieces.push_back({QLatin1Char('\'') + whole + QLatin1Char('\''), placeholder, {whole}});
    return *this;
}

Statement& Statement::compared(const QString& column, const QString& equals, const QString& value)
{
    piece(column + equals, QStringLiteral("ifnull(") + column + QStringLiteral(", '')") + equals);
    return quoted(value);
}

Statement& Statement::sqlOnly(const QString& sql, const QVariantList& values)
{
    m_plan.reset();
    m_pieces.push_back({QString(), sql, values});
    return *this;
}

Statement& Statement::piece(const QString& text, const QString& sql)
{
    m_plan.reset();
    m_pieces.push_back({text, sql, {}});
    return *this;
}

Statement& Statement::readAsList(const ListPlan& plan)
{
    m_plan = std::make_shared<const ListPlan>(plan);
    return *this;
}

QString Statement::text() const
{
    QString result;
    for (const Piece& piece : m_pieces)
        result += piece.text;
    return result;
}

QString Statement::sql() const
{
    QString result;
    for (const Piece& piece : m_pieces)
        result += piece.sql;
    return result;
}

QVariantList Statement::values() const
{
    QVariantList result;
    for (const Piece& piece : m_pieces)
        result += piece.values;
    return result;
}

} // namespace engine
