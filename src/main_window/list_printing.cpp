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

// A value wraps onto at most this many lines; a longer one is cut there.
constexpr int maxCellLines = 12;
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

// A text in a column: one line as it stands when it fits, else laid out on as many lines as it needs (within
// maxCellLines), broken between words where it can and anywhere where it must.
struct Cell
{
    QString text;
    std::unique_ptr<QTextLayout> wrapped;

    qreal height(const QFontMetricsF& metrics) const
    {
        return wrapped ? std::max(wrapped->boundingRect().height(), metrics.height()) : metrics.height();
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
    for (int lines = 0; lines < maxCellLines; ++lines) {
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
        const qreal total = gridWidth(list);
        qreal x = 0;
        for (const ShownList::Column& column : list.columns) {
            const qreal width = total > 0 ? m_width * column.width / total : m_width / list.columns.size();
            m_columnLeft.push_back(x);
            m_columnWidth.push_back(width);
            x += width;
        }
        // The captions wrap as the values do, so that each is printed whole.
        for (std::size_t column = 0; column < list.columns.size(); ++column)
            m_captions.push_back(
                layOutCell(list.columns[column].caption, m_bold, m_boldMetrics, room(column), &device));
    }

    bool print(const PrintProgress& progress)
    {
        QPainter painter;
        if (!painter.begin(&m_device))
            throw platform::Failure(QStringLiteral("A nyomtatás nem indítható el."));
        m_painter = &painter;
        int row = 0;
        int page = 1;
        for (;;) {
            qreal y = page == 1 ? paintHeading() : 0;
            y = paintCaptions(y);
            const qreal bottom = m_height - m_footer;
            // A row taller than a whole page is cut at the page's foot.
            const qreal tallest = bottom - y;
            int onPage = 0;
            while (row < m_list.count) {
                std::vector<Cell> cells = layOutRow(row);
                const qreal height = std::min(rowHeight(cells), tallest);
                if (onPage > 0 && y + height > bottom)
                    break;
                paintRow(cells, y, height);
                y += height;
                ++row;
                ++onPage;
            }
            paintFooter(page);
            if (progress && !progress(row)) {
                painter.end();
                return false;
            }
            if (row >= m_list.count)
                break;
            if (!m_device.newPage())
                throw platform::Failure(QStringLiteral("A nyomtatás új lapja nem kezdhető el."));
            ++page;
        }
        painter.end();
        return true;
    }

private:
    qreal room(std::size_t column) const { return std::max<qreal>(m_columnWidth[column] - 2 * m_padding, 1); }

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
        paintCells(m_captions, m_boldMetrics, y, height);
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

    void paintCells(const std::vector<Cell>& cells, const QFontMetricsF& metrics, qreal y, qreal height)
    {
        for (std::size_t column = 0; column < cells.size(); ++column) {
            const qreal x = m_columnLeft[column] + m_padding;
            if (cells[column].wrapped) {
                // Lines that would run past the page's foot are left off.
                m_painter->save();
                m_painter->setClipRect(QRectF(m_columnLeft[column], y, m_columnWidth[column], height));
                cells[column].wrapped->draw(m_painter, QPointF(x, y + m_padding));
                m_painter->restore();
            } else if (!cells[column].text.isEmpty()) {
                m_painter->drawText(QPointF(x, y + m_padding + metrics.ascent()), cells[column].text);
            }
        }
    }

    void paintRow(const std::vector<Cell>& cells, qreal y, qreal height)
    {
        m_painter->setFont(m_body);
        m_painter->setPen(Qt::black);
        paintCells(cells, m_bodyMetrics, y, height);
        m_painter->setPen(QPen(QColor(0xc0, 0xc0, 0xc0), 0));
        m_painter->drawLine(QLineF(0, y + height, m_width, y + height));
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
