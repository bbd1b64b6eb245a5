// SPDX-License-Identifier: GPL-3.0-or-later

#include "main_window/list_printing.h"

#include "platform/failure.h"

#include <QFontMetricsF>
#include <QLocale>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QTextLayout>
#include <algorithm>
#include <memory>

ListHeading listHeading(const QString& category, const QString& catalogue, const QDate& date, int count,
                        const QString& filter)
{
    ListHeading heading;
    heading.title = category;
    const QString day = QLocale(QLocale::Hungarian, QLocale::Hungary).toString(date, QStringLiteral("yyyy. MMMM d."));
    heading.lines << QStringLiteral("Katalógus: %1").arg(catalogue) << QStringLiteral("Dátum: %1").arg(day)
                  << QStringLiteral("Tételek száma: %1").arg(count);
    if (!filter.isEmpty())
        heading.lines << QStringLiteral("Keresés: %1").arg(filter);
    heading.footer = QStringLiteral("%1 – %2 – %3").arg(catalogue, category, day);
    return heading;
}

namespace {

// On paper the list takes the page's width. Its text is a little smaller against its columns than the grid's
// 11 pixels (8.25 points) on a screen of 96 dots per inch, since paper shows small text sharply, so that a value
// that just fits on the screen also fits on paper; and it stays within what reads well.
constexpr qreal screenPoints = 7.5;
constexpr qreal largestPoints = 9;
constexpr qreal smallestPoints = 6;

qreal gridWidth(const ShownList& list)
{
    qreal total = 0;
    for (const ShownList::Column& column : list.columns)
        total += column.width;
    return total;
}

// The list's text size on a page of this width (in pixels of a 96 dots-per-inch screen).
qreal listPoints(const ShownList& list, qreal pageWidth)
{
    const qreal total = gridWidth(list);
    if (total <= 0)
        return largestPoints;
    return std::clamp(screenPoints * pageWidth / total, smallestPoints, largestPoints);
}

QFont printFont(qreal points, bool bold = false)
{
    // The window's own families, at a size that reads well on paper.
    QFont font;
    font.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"),
                      QStringLiteral("DejaVu Sans"), QStringLiteral("Sans Serif")});
    font.setPointSizeF(points);
    font.setBold(bold);
    // No ligatures: a text copied or searched in the PDF reads "fi", never the one sign of a ligature.
    font.setStyleStrategy(QFont::PreferNoShaping);
    return font;
}

// A value counts as short when it is one line of at most this many characters that takes no more than an even
// share of the page: a code, a size, a year. Its column is made wide enough for it, so that it is never broken.
constexpr int shortCharacters = 40;
// The printing asks whether to go on every this many rows while it measures the values.
constexpr int rowsBetweenQuestions = 256;

// A text in a column: one line as it stands when it fits, else laid out on as many lines as it needs, broken
// between words where it can and anywhere where it must. Nothing of a value is left off, however long.
struct Cell
{
    QString text;
    std::unique_ptr<QTextLayout> wrapped;

    qreal height(const QFontMetricsF& metrics) const
    {
        return wrapped ? std::max(wrapped->boundingRect().height(), metrics.height()) : metrics.height();
    }

    // Where a page may end within the cell, for a place measured from the cell's top: the top of the line the
    // place falls in, else the place itself (between lines or below the text), so that no line is cut in two.
    qreal lineTopAtOrAbove(qreal place, const QFontMetricsF& metrics) const
    {
        if (!wrapped)
            return place > 0 && place < metrics.height() ? 0 : place;
        for (int i = 0; i < wrapped->lineCount(); ++i) {
            const QTextLine line = wrapped->lineAt(i);
            if (place > line.y() && place < line.y() + line.height())
                return line.y();
        }
        return place;
    }
};

Cell layOutCell(QString text, const QFont& font, const QFontMetricsF& metrics, qreal room, QPaintDevice* device)
{
    Cell cell;
    const bool breaks = text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r'));
    if (!breaks && !text.contains(QLatin1Char('\t')) && metrics.horizontalAdvance(text) <= room) {
        cell.text = std::move(text);
        return cell;
    }
    // A line end in a value starts a new line on paper too.
    text.replace(QLatin1String("\r\n"), QString(QChar::LineSeparator));
    text.replace(QLatin1Char('\r'), QChar::LineSeparator);
    text.replace(QLatin1Char('\n'), QChar::LineSeparator);
    text.replace(QLatin1Char('\t'), QLatin1Char(' '));
    cell.wrapped = std::make_unique<QTextLayout>(text, font, device);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    cell.wrapped->setTextOption(option);
    cell.wrapped->beginLayout();
    qreal y = 0;
    for (;;) {
        QTextLine line = cell.wrapped->createLine();
        if (!line.isValid())
            break;
        line.setLineWidth(room);
        line.setPosition(QPointF(0, y));
        y += line.height();
    }
    cell.wrapped->endLayout();
    return cell;
}

// The width of a value when it is short (see shortCharacters), else 0.
qreal shortWidth(const QString& text, const QFontMetricsF& metrics, qreal limit)
{
    if (text.size() > shortCharacters || text.contains(QLatin1Char('\n')) || text.contains(QLatin1Char('\r')) ||
        text.contains(QLatin1Char('\t')))
        return 0;
    const qreal width = metrics.horizontalAdvance(text);
    return width <= limit ? width : 0;
}

// The columns' widths on a page: each column takes its share of the width in proportion to its width in the
// grid, except that a column is never narrower than it needs for its short values. Those columns get what they
// need first, and the others share the rest in proportion.
std::vector<qreal> fittedWidths(const std::vector<qreal>& shares, const std::vector<qreal>& needs, qreal page)
{
    const std::size_t count = shares.size();
    std::vector<qreal> widths(count);
    qreal needed = 0;
    for (qreal need : needs)
        needed += need;
    if (needed >= page) {
        // Not even the short values fit side by side: each column gets a part of the page in proportion to them.
        for (std::size_t i = 0; i < count; ++i)
            widths[i] = page * needs[i] / needed;
        return widths;
    }
    std::vector<bool> atNeed(count, false);
    for (bool changed = true; changed;) {
        changed = false;
        qreal rest = page;
        qreal weight = 0;
        std::size_t sharing = 0;
        for (std::size_t i = 0; i < count; ++i) {
            if (atNeed[i]) {
                rest -= needs[i];
            } else {
                weight += shares[i];
                ++sharing;
            }
        }
        for (std::size_t i = 0; i < count; ++i) {
            if (atNeed[i]) {
                widths[i] = needs[i];
                continue;
            }
            widths[i] = weight > 0 ? rest * shares[i] / weight : rest / static_cast<qreal>(sharing);
            if (widths[i] < needs[i]) {
                atNeed[i] = true;
                changed = true;
            }
        }
    }
    return widths;
}

class ListPainter
{
public:
    ListPainter(const ShownList& list, const ListHeading& heading, QPagedPaintDevice& device)
        : m_list(list), m_heading(heading), m_device(device),
          m_body(printFont(listPoints(list, device.width() * 96.0 / device.logicalDpiX()))),
          m_bold(printFont(m_body.pointSizeF(), true)), m_small(printFont(largestPoints)), m_title(printFont(14, true)),
          m_bodyMetrics(m_body, &device), m_boldMetrics(m_bold, &device), m_smallMetrics(m_small, &device),
          m_titleMetrics(m_title, &device)
    {
        m_width = device.width();
        m_height = device.height();
        const qreal millimetre = device.logicalDpiX() / 25.4;
        m_padding = 0.5 * millimetre;
        m_footer = m_smallMetrics.height() + 2 * millimetre;
    }

    bool print(const PrintProgress& progress)
    {
        if (!fitColumns(progress))
            return false;
        QPainter painter;
        if (!painter.begin(&m_device))
            throw platform::Failure(QStringLiteral("A nyomtatás nem indítható el."));
        m_painter = &painter;
        int page = 1;
        qreal y = paintCaptions(paintHeading());
        const qreal bottom = m_height - m_footer;
        bool pageHasRows = false;
        for (int row = 0; row < m_list.count; ++row) {
            const std::vector<Cell> cells = layOutRow(row);
            const qreal height = rowHeight(cells);
            if (pageHasRows && y + height > bottom) {
                if (!turnPage(page, row, progress))
                    return false;
                y = paintCaptions(0);
            }
            // A row taller than the room left goes on over the next pages, each page ending between lines.
            qreal from = 0;
            while (height - from > bottom - y) {
                qreal to = pageEnd(cells, from + bottom - y);
                if (to <= from + m_padding) // a single line taller than a page: cut through it
                    to = from + bottom - y;
                paintRow(cells, y, from, to, false);
                if (!turnPage(page, row, progress))
                    return false;
                y = paintCaptions(0);
                from = to;
            }
            paintRow(cells, y, from, height, true);
            y += height - from;
            pageHasRows = true;
        }
        paintFooter(page);
        if (progress && !progress(m_list.count)) {
            painter.end();
            return false;
        }
        painter.end();
        return true;
    }

private:
    qreal room(std::size_t column) const { return std::max<qreal>(m_columnWidth[column] - 2 * m_padding, 1); }

    // Reads every value once to find how wide each column must be for its short values, asking progress now
    // and then whether to go on (with no row printed yet). The captions wrap as the values do.
    bool fitColumns(const PrintProgress& progress)
    {
        const std::size_t count = m_list.columns.size();
        const qreal total = gridWidth(m_list);
        const qreal limit = m_width / std::max<qreal>(static_cast<qreal>(count), 1);
        std::vector<qreal> shares;
        std::vector<qreal> needs(count, 0);
        for (std::size_t column = 0; column < count; ++column) {
            shares.push_back(total > 0 ? m_list.columns[column].width : 1);
            needs[column] = shortWidth(m_list.columns[column].caption, m_boldMetrics, limit);
        }
        for (int row = 0; row < m_list.count; ++row) {
            if (progress && row > 0 && row % rowsBetweenQuestions == 0 && !progress(0))
                return false;
            for (std::size_t column = 0; column < count; ++column)
                needs[column] = std::max(needs[column], shortWidth(m_list.text(row, column), m_bodyMetrics, limit));
        }
        for (qreal& need : needs) {
            if (need > 0)
                need += 2 * m_padding + 1; // a pixel spare, so that the value fits however its width rounds
        }
        m_columnWidth = fittedWidths(shares, needs, m_width);
        qreal x = 0;
        for (qreal width : m_columnWidth) {
            m_columnLeft.push_back(x);
            x += width;
        }
        for (std::size_t column = 0; column < count; ++column)
            m_captions.push_back(
                layOutCell(m_list.columns[column].caption, m_bold, m_boldMetrics, room(column), &m_device));
        return true;
    }

    // Ends a page and starts the next one. False when progress stopped the printing there.
    bool turnPage(int& page, int rowsDone, const PrintProgress& progress)
    {
        paintFooter(page);
        if (progress && !progress(rowsDone)) {
            m_painter->end();
            return false;
        }
        if (!m_device.newPage())
            throw platform::Failure(QStringLiteral("A nyomtatás új lapja nem kezdhető el."));
        ++page;
        return true;
    }

    // The place nearest above end (measured from the row's top) where the page can end without cutting a line
    // of any of the row's cells in two.
    qreal pageEnd(const std::vector<Cell>& cells, qreal end) const
    {
        for (bool moved = true; moved;) {
            moved = false;
            for (const Cell& cell : cells) {
                const qreal top = cell.lineTopAtOrAbove(end - m_padding, m_bodyMetrics) + m_padding;
                if (top < end) {
                    end = top;
                    moved = true;
                }
            }
        }
        return end;
    }

    qreal paintHeading()
    {
        m_painter->setFont(m_title);
        m_painter->setPen(Qt::black);
        m_painter->drawText(QPointF(0, m_titleMetrics.ascent()),
                            m_titleMetrics.elidedText(m_heading.title, Qt::ElideRight, m_width));
        qreal y = m_titleMetrics.height() + m_smallMetrics.height() * 0.3;
        m_painter->setFont(m_small);
        for (const QString& line : m_heading.lines) {
            m_painter->drawText(QPointF(0, y + m_smallMetrics.ascent()),
                                m_smallMetrics.elidedText(line, Qt::ElideRight, m_width));
            y += m_smallMetrics.lineSpacing();
        }
        return y + m_smallMetrics.height();
    }

    qreal paintCaptions(qreal y)
    {
        qreal height = 0;
        for (const Cell& caption : m_captions)
            height = std::max(height, caption.height(m_boldMetrics));
        height += 2 * m_padding;
        m_painter->fillRect(QRectF(0, y, m_width, height), QColor(0xe8, 0xe8, 0xe8));
        m_painter->setFont(m_bold);
        m_painter->setPen(Qt::black);
        paintCells(m_captions, m_boldMetrics, y, 0, height);
        m_painter->setPen(QPen(Qt::black, 0));
        m_painter->drawLine(QLineF(0, y + height, m_width, y + height));
        return y + height;
    }

    std::vector<Cell> layOutRow(int row) const
    {
        std::vector<Cell> cells;
        cells.reserve(m_list.columns.size());
        for (std::size_t column = 0; column < m_list.columns.size(); ++column)
            cells.push_back(layOutCell(m_list.text(row, column), m_body, m_bodyMetrics, room(column), &m_device));
        return cells;
    }

    qreal rowHeight(const std::vector<Cell>& cells) const
    {
        qreal height = m_bodyMetrics.height();
        for (const Cell& cell : cells)
            height = std::max(height, cell.height(m_bodyMetrics));
        return height + 2 * m_padding;
    }

    // Paints the part of the cells from..to (measured from their row's top) at y. Only the lines within that
    // part are drawn, so that a line printed on one page is not also in the text of the next.
    void paintCells(const std::vector<Cell>& cells, const QFontMetricsF& metrics, qreal y, qreal from, qreal to)
    {
        // A hair inside the part's bounds: a line that starts just where it ends belongs to the next page.
        constexpr qreal hair = 0.01;
        const qreal top = y - from; // where the row's top would be
        for (std::size_t column = 0; column < cells.size(); ++column) {
            const Cell& cell = cells[column];
            const qreal x = m_columnLeft[column] + m_padding;
            const QRectF part(m_columnLeft[column], y, m_columnWidth[column], to - from);
            if (!cell.wrapped &&
                (cell.text.isEmpty() || m_padding >= to - hair || m_padding + metrics.height() <= from + hair))
                continue;
            m_painter->save();
            m_painter->setClipRect(part);
            if (cell.wrapped) {
                // Line by line: the layout's own clipping draws a line above the part as well.
                for (int i = 0; i < cell.wrapped->lineCount(); ++i) {
                    const QTextLine line = cell.wrapped->lineAt(i);
                    if (m_padding + line.y() < to - hair && m_padding + line.y() + line.height() > from + hair)
                        line.draw(m_painter, QPointF(x, top + m_padding));
                }
            } else
                m_painter->drawText(QPointF(x, top + m_padding + metrics.ascent()), cell.text);
            m_painter->restore();
        }
    }

    void paintRow(const std::vector<Cell>& cells, qreal y, qreal from, qreal to, bool last)
    {
        m_painter->setFont(m_body);
        m_painter->setPen(Qt::black);
        paintCells(cells, m_bodyMetrics, y, from, to);
        if (!last)
            return;
        m_painter->setPen(QPen(QColor(0xc0, 0xc0, 0xc0), 0));
        m_painter->drawLine(QLineF(0, y + to - from, m_width, y + to - from));
    }

    void paintFooter(int page)
    {
        m_painter->setFont(m_small);
        m_painter->setPen(Qt::black);
        const QString number = QStringLiteral("%1. oldal").arg(page);
        const qreal numberWidth = m_smallMetrics.horizontalAdvance(number);
        const qreal baseline = m_height - m_smallMetrics.descent();
        m_painter->drawText(QPointF(m_width - numberWidth, baseline), number);
        m_painter->drawText(
            QPointF(0, baseline),
            m_smallMetrics.elidedText(m_heading.footer, Qt::ElideRight, std::max<qreal>(m_width - 2 * numberWidth, 0)));
    }

    const ShownList& m_list;
    const ListHeading& m_heading;
    QPagedPaintDevice& m_device;
    QFont m_body;  // the values
    QFont m_bold;  // the captions
    QFont m_small; // the heading's lines and the foot
    QFont m_title;
    QFontMetricsF m_bodyMetrics;
    QFontMetricsF m_boldMetrics;
    QFontMetricsF m_smallMetrics;
    QFontMetricsF m_titleMetrics;
    QPainter* m_painter = nullptr;
    qreal m_width = 0;
    qreal m_height = 0;
    qreal m_padding = 0;
    qreal m_footer = 0;
    std::vector<qreal> m_columnLeft;
    std::vector<qreal> m_columnWidth;
    std::vector<Cell> m_captions;
};

} // namespace

void setUpPage(QPagedPaintDevice& device, const ShownList& list)
{
    const QMarginsF margins(15, 15, 15, 15);
    const QPageSize a4(QPageSize::A4);
    const qreal uprightWidth = (a4.size(QPageSize::Millimeter).width() - margins.left() - margins.right()) / 25.4 * 96;
    const QPageLayout::Orientation orientation =
        gridWidth(list) > uprightWidth ? QPageLayout::Landscape : QPageLayout::Portrait;
    device.setPageLayout(QPageLayout(a4, orientation, margins, QPageLayout::Millimeter));
}

bool printList(const ShownList& list, const ListHeading& heading, QPagedPaintDevice& device,
               const PrintProgress& progress)
{
    return ListPainter(list, heading, device).print(progress);
}
