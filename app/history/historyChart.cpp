// The History page's chart: its axes, lines, shading, markers, legend and cursor.
#include "historyChart.h"

#include <QDateTime>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QToolTip>
#include <cmath>

namespace {

// The gauge's colours: black frame, lime charge; the voltages in blue and
// orange, the time on battery in the amber of the gauge's warning.
const QColor kFrame(0, 0, 0);
const QColor kGrid(0, 0, 0, 28);
const QColor kCharge(50, 205, 50);
const QColor kInput(33, 102, 204);
const QColor kInputBand(33, 102, 204, 50);
const QColor kOutput(230, 115, 0);
const QColor kBattery(255, 179, 0, 56);
// An outage of a few pixels is shaded stronger, or it would not be seen.
const QColor kBatteryNarrow(255, 179, 0, 130);
const QColor kNoData(0, 0, 0, 20);
const QColor kCursor(0, 0, 0, 150);
const QColor kBad(229, 57, 53);
const QColor kGood(46, 160, 67);
const QColor kOther(110, 110, 110);

const int kMarkerSize = 7;
const int kMarkerReach = 5;    // pixels around a marker that show its text
const int kMarkerLines = 12;   // the most events one tool tip lists
const double kMinShadePx = 2;  // an outage never shades less than this

QColor markerColour(int kind) {
    switch (kind) {
        case history::DcLost:
        case history::LineLost:
        case history::CriticalBattery:
            return kBad;
        case history::LowBattery:
            return QColor(255, 179, 0);
        case history::DcBack:
        case history::LineRestored:
            return kGood;
        default:
            return kOther;
    }
}

// A tick spacing from this list that gives labels at least minPixels apart.
qint64 timeStep(qint64 spanMs, int width, int minPixels) {
    static const qint64 kMinute = 60 * 1000;
    static const qint64 kSteps[] = {5 * kMinute,        10 * kMinute,       15 * kMinute,
                                    30 * kMinute,       60 * kMinute,       120 * kMinute,
                                    180 * kMinute,      360 * kMinute,      720 * kMinute,
                                    1440 * kMinute,     2 * 1440 * kMinute, 5 * 1440 * kMinute,
                                    7 * 1440 * kMinute, 14 * 1440 * kMinute};
    for (qint64 step : kSteps)
        if (width > 0 && spanMs / step * minPixels <= width) return step;
    return 30 * 1440 * kMinute;
}

}  // namespace

historyChart::historyChart(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("historyChart"));
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

QString historyChart::kindName(int kind) {
    switch (kind) {
        case history::DcLost:
            return tr("DC lost");
        case history::DcBack:
            return tr("DC back");
        case history::SwOn:
            return tr("SW on");
        case history::SwOff:
            return tr("SW off");
        case history::LineLost:
            return tr("Line lost");
        case history::LineRestored:
            return tr("Line restored");
        case history::LowBattery:
            return tr("Low battery");
        case history::CriticalBattery:
            return tr("Critical battery");
        case history::ScriptStarted:
            return tr("Script started");
        case history::ScriptEnded:
            return tr("Script ended");
        case history::WriteRegister:
            return tr("Register written");
        case history::Connected:
            return tr("Connected");
        case history::Disconnected:
            return tr("Disconnected");
        default:
            return tr("Unknown");
    }
}

QSize historyChart::minimumSizeHint() const {
    const QFontMetrics metrics(font());
    return QSize(metrics.horizontalAdvance(QStringLiteral("100 %")) * 2 + 200,
                 metrics.height() * 4 + 100);
}

void historyChart::setData(qint64 fromMs, qint64 toMs, const QVector<history::bucket>& buckets,
                           const QVector<history::event>& events, qint64 firstSampleMs) {
    m_fromMs = fromMs;
    m_toMs = qMax(fromMs + 1, toMs);
    m_firstSampleMs = firstSampleMs;
    m_buckets = buckets;
    m_events = events;
    update();
}

QRect historyChart::plotRect() const {
    const QFontMetrics metrics(font());
    const int left = metrics.horizontalAdvance(QStringLiteral("100 %")) + 12;
    const int right = metrics.horizontalAdvance(QStringLiteral("88.8 V")) + 12;
    const int top = metrics.height() + 14;
    const int bottom = metrics.height() + 10;
    return QRect(left, top, qMax(1, width() - left - right), qMax(1, height() - top - bottom));
}

QRect historyChart::valueRect(const QRect& plot) const {
    const int headroom = qBound(4, plot.height() / 16, 16);
    return plot.adjusted(0, qMin(headroom, plot.height() / 2), 0, 0);
}

int historyChart::plotWidth() const {
    return plotRect().width();
}

double historyChart::xOf(qint64 timeMs, const QRect& plot) const {
    return plot.left() + double(timeMs - m_fromMs) * plot.width() / double(m_toMs - m_fromMs);
}

qint64 historyChart::timeAt(double x, const QRect& plot) const {
    return m_fromMs + qint64((x - plot.left()) * double(m_toMs - m_fromMs) / plot.width());
}

qint64 historyChart::gapMs() const {
    return qMax<qint64>(30000, 3 * (m_toMs - m_fromMs) / qMax(1, plotWidth()));
}

qint64 historyChart::dataStartMs() const {
    // A start within a few columns of the range's (the retention's purge runs
    // hourly) is no hole worth a word.
    const qint64 span = m_toMs - m_fromMs;
    const qint64 slack = qMax(gapMs(), span / 100);
    if (m_firstSampleMs < 0 || m_firstSampleMs - m_fromMs <= slack) return m_fromMs;
    return qMin(m_firstSampleMs, m_toMs);
}

QString historyChart::noDataText() const {
    const qint64 start = dataStartMs();
    if (start <= m_fromMs) return QString();
    return tr("No data before %1")
        .arg(QDateTime::fromMSecsSinceEpoch(start).toString(QStringLiteral("yyyy-MM-dd hh:mm")));
}

QString historyChart::readoutAt(qint64 timeMs) const {
    if (timeMs < m_fromMs || timeMs > m_toMs) return QString();
    const QString when =
        QDateTime::fromMSecsSinceEpoch(timeMs).toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    if (timeMs < dataStartMs()) return when + QLatin1Char('\n') + noDataText();
    // The nearest column, when it is near enough to be joined in the lines.
    int nearest = -1;
    qint64 distance = 0;
    for (int i = 0; i < m_buckets.size(); ++i) {
        const qint64 d = std::llabs(m_buckets.at(i).timeMs - timeMs);
        if (nearest < 0 || d < distance) {
            nearest = i;
            distance = d;
        }
    }
    if (nearest < 0 || distance > gapMs() / 2)
        return when + QLatin1Char('\n') + tr("No samples at this time");
    const history::bucket& b = m_buckets.at(nearest);
    const auto volts = [](double mv) {
        return mv < 0 ? tr("none") : tr("%1 V").arg(mv / 1000.0, 0, 'f', 1);
    };
    QStringList lines{when, tr("Charge: %1 %").arg(qRound(b.charge)),
                      tr("Input: %1").arg(volts(b.inputMv)),
                      tr("Output: %1").arg(volts(b.outputMv))};
    if (b.onBattery) lines << tr("On battery");
    return lines.join(QLatin1Char('\n'));
}

QString historyChart::markerText(const QPoint& at) const {
    const QRect plot = plotRect();
    if (at.y() < plot.top() - kMarkerSize - kMarkerReach || at.y() > plot.bottom())
        return QString();
    QStringList lines;
    int more = 0;
    // Oldest first, as they happened, each with its time.
    for (int i = m_events.size() - 1; i >= 0; --i) {
        const history::event& e = m_events.at(i);
        if (std::abs(xOf(e.timeMs, plot) - at.x()) > kMarkerReach) continue;
        if (lines.size() == kMarkerLines) {
            ++more;
            continue;
        }
        QString line = QDateTime::fromMSecsSinceEpoch(e.timeMs).toString(
                           QStringLiteral("yyyy-MM-dd hh:mm:ss")) +
                       QStringLiteral("  ") + kindName(e.kind);
        if (!e.text.isEmpty()) line += QStringLiteral(": ") + e.text;
        lines << line;
    }
    if (more > 0) lines << tr("… and %1 more").arg(more);
    return lines.join(QLatin1Char('\n'));
}

bool historyChart::event(QEvent* e) {
    if (e->type() == QEvent::ToolTip) {
        QHelpEvent* help = static_cast<QHelpEvent*>(e);
        const QString text = markerText(help->pos());
        if (text.isEmpty())
            QToolTip::hideText();
        else
            QToolTip::showText(help->globalPos(), text, this);
        return true;
    }
    return QWidget::event(e);
}

void historyChart::mouseMoveEvent(QMouseEvent* event) {
    const QRect plot = plotRect();
    const int x = plot.contains(event->pos()) ? event->pos().x() : -1;
    if (x != m_cursorX) {
        m_cursorX = x;
        update();
    }
    QWidget::mouseMoveEvent(event);
}

void historyChart::leaveEvent(QEvent* event) {
    if (m_cursorX >= 0) {
        m_cursorX = -1;
        update();
    }
    QWidget::leaveEvent(event);
}

void historyChart::paintCursor(QPainter& painter, const QRect& plot) {
    const QRect values = valueRect(plot);
    const QString text = readoutAt(timeAt(m_cursorX, plot));
    painter.setPen(QPen(kCursor, 1));
    painter.drawLine(QPointF(m_cursorX + 0.5, plot.top()), QPointF(m_cursorX + 0.5, plot.bottom()));
    if (text.isEmpty()) return;
    const QStringList lines = text.split(QLatin1Char('\n'));
    const QFontMetrics metrics(font());
    int textWidth = 0;
    for (const QString& line : lines)
        textWidth = qMax(textWidth, metrics.horizontalAdvance(line));
    const int pad = 5;
    QRectF box(0, values.top() + 2, textWidth + 2 * pad, lines.size() * metrics.height() + 2 * pad);
    // Beside the cursor, on the side with room.
    box.moveLeft(m_cursorX + 10 + box.width() <= plot.right() ? m_cursorX + 10
                                                              : m_cursorX - 10 - box.width());
    box.moveLeft(qMax<double>(plot.left() + 1, box.left()));
    QColor back = palette().color(QPalette::ToolTipBase);
    back.setAlpha(235);
    painter.setBrush(back);
    painter.setPen(QPen(kGrid.darker(), 1));
    painter.drawRect(box);
    painter.setPen(palette().color(QPalette::ToolTipText));
    for (int i = 0; i < lines.size(); ++i)
        painter.drawText(QRectF(box.left() + pad, box.top() + pad + i * metrics.height(), textWidth,
                                metrics.height()),
                         Qt::AlignLeft | Qt::AlignVCenter, lines.at(i));
    painter.setBrush(Qt::NoBrush);
}

void historyChart::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Base));
    painter.setRenderHint(QPainter::Antialiasing, true);
    const QRect plot = plotRect();
    const QRect values = valueRect(plot);
    const QFontMetrics metrics(font());

    // The voltage axis: 0 to a whole number of volts per step, four steps,
    // the highest voltage at least a twentieth below the top so that its line
    // does not lie on the full charge's.
    double maxMv = 0;
    for (const history::bucket& b : m_buckets)
        maxMv = qMax(maxMv, qMax<double>(b.inputMax, b.outputMv));
    const double stepV = qMax(1.0, std::ceil(maxMv * 1.05 / 4 / 1000.0));
    const double topMv = 4 * stepV * 1000.0;
    const auto yCharge = [&values](double percent) {
        return values.bottom() - percent * values.height() / 100.0;
    };
    const auto yVolt = [&values, topMv](double mv) {
        return values.bottom() - mv * values.height() / topMv;
    };

    // The time before the first sample: greyed, and said.
    const qint64 dataStart = dataStartMs();
    const double noDataRight = xOf(dataStart, plot);
    if (dataStart > m_fromMs)
        painter.fillRect(QRectF(plot.left(), plot.top(), noDataRight - plot.left(), plot.height()),
                         kNoData);

    // Periods on battery, shaded per column.
    const qint64 span = m_toMs - m_fromMs;
    const double column = m_buckets.isEmpty() ? 0 : double(plot.width()) / qMax(1, plotWidth());
    for (int i = 0; i < m_buckets.size(); ++i) {
        if (!m_buckets.at(i).onBattery) continue;
        // One rectangle for a run of columns.
        const double x = xOf(m_buckets.at(i).timeMs, plot);
        while (i + 1 < m_buckets.size() && m_buckets.at(i + 1).onBattery)
            ++i;
        const double right = xOf(m_buckets.at(i).timeMs, plot) + qMax(column, 1.0);
        const double width = qMax(right - x, kMinShadePx);
        painter.fillRect(QRectF(x, plot.top(), width, plot.height()),
                         width < 4 ? kBatteryNarrow : kBattery);
    }

    // Grid and axes: five rows (0, 25 ... 100 %), time ticks at round times.
    painter.setPen(QPen(kGrid, 1));
    for (int row = 0; row <= 4; ++row) {
        const double y = yCharge(row * 25);
        painter.drawLine(QPointF(plot.left(), y), QPointF(plot.right(), y));
        painter.setPen(kCharge.darker(140));
        const QString percent = QStringLiteral("%1 %").arg(row * 25);
        painter.drawText(QRectF(0, y - metrics.height() / 2.0, plot.left() - 6, metrics.height()),
                         Qt::AlignRight | Qt::AlignVCenter, percent);
        painter.setPen(kInput);
        const QString volts =
            QString::number(topMv * row / 4 / 1000.0, 'f', 1) + QStringLiteral(" V");
        painter.drawText(QRectF(plot.right() + 6, y - metrics.height() / 2.0,
                                width() - plot.right() - 6, metrics.height()),
                         Qt::AlignLeft | Qt::AlignVCenter, volts);
        painter.setPen(QPen(kGrid, 1));
    }
    const QString labelFormat =
        span > 36 * 3600 * 1000LL ? QStringLiteral("MM-dd") : QStringLiteral("hh:mm");
    const qint64 step =
        timeStep(span, plot.width(), metrics.horizontalAdvance(QStringLiteral("00-00 ")) * 2);
    // Round to local time, so that day ticks fall on midnight.
    const qint64 offset = QDateTime::fromMSecsSinceEpoch(m_fromMs).offsetFromUtc() * 1000LL;
    for (qint64 t = ((m_fromMs + offset) / step + 1) * step - offset; t < m_toMs; t += step) {
        const double x = xOf(t, plot);
        painter.setPen(QPen(kGrid, 1));
        painter.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
        painter.setPen(palette().color(QPalette::Text));
        const QString label = QDateTime::fromMSecsSinceEpoch(t).toString(labelFormat);
        painter.drawText(QRectF(x - 60, plot.bottom() + 4, 120, metrics.height()),
                         Qt::AlignHCenter | Qt::AlignTop, label);
    }

    // The lines; a gap of more than three columns (or half a minute) in the
    // samples is a time without polling and breaks them.
    const qint64 gap = gapMs();
    painter.setClipRect(plot.adjusted(-1, -1, 1, 1));
    QPainterPath charge, input, output;
    QVector<QLineF> band;  // the input's range in each column
    for (int i = 0; i < m_buckets.size(); ++i) {
        const history::bucket& b = m_buckets.at(i);
        const bool joined = i > 0 && b.timeMs - m_buckets.at(i - 1).timeMs <= gap;
        const double x = xOf(b.timeMs, plot);
        if (b.inputMin >= 0 && b.inputMax > b.inputMin)
            band.append(QLineF(x, yVolt(b.inputMin), x, yVolt(b.inputMax)));
        const QPointF c(x, yCharge(b.charge));
        joined ? charge.lineTo(c) : charge.moveTo(c);
        if (b.inputMv >= 0) {
            const bool voltsJoined = joined && m_buckets.at(i - 1).inputMv >= 0;
            const QPointF in(x, yVolt(b.inputMv));
            const QPointF out(x, yVolt(b.outputMv));
            voltsJoined ? input.lineTo(in) : input.moveTo(in);
            voltsJoined ? output.lineTo(out) : output.moveTo(out);
        }
    }
    painter.setBrush(Qt::NoBrush);
    // A point in every column draws sharp and several times faster without
    // smoothing; sparse lines keep it.
    painter.setRenderHint(QPainter::Antialiasing, m_buckets.size() * 3 < plot.width());
    painter.setPen(QPen(kInputBand, qMax(1.0, column)));
    painter.drawLines(band);
    // The output, most often equal to the input, is dashed over it: where the
    // two agree the line shows both colours in turn.
    painter.setPen(QPen(kInput, 2.5));
    painter.drawPath(input);
    QPen dashed(kOutput, 2, Qt::CustomDashLine, Qt::FlatCap);
    dashed.setDashPattern({3, 3});
    painter.setPen(dashed);
    painter.drawPath(output);
    painter.setPen(QPen(kCharge, 2));
    painter.drawPath(charge);
    painter.setClipping(false);
    painter.setRenderHint(QPainter::Antialiasing, true);

    // Events: a dotted line down the plot and a triangle above it.
    for (const history::event& e : m_events) {
        const double x = xOf(e.timeMs, plot);
        if (x < plot.left() - 1 || x > plot.right() + 1) continue;
        const QColor colour = markerColour(e.kind);
        painter.setPen(QPen(colour, 1, Qt::DotLine));
        painter.drawLine(QPointF(x, plot.top()), QPointF(x, plot.bottom()));
        QPolygonF triangle;
        triangle << QPointF(x - kMarkerSize / 2.0, plot.top() - kMarkerSize)
                 << QPointF(x + kMarkerSize / 2.0, plot.top() - kMarkerSize)
                 << QPointF(x, plot.top() - 1);
        painter.setPen(Qt::NoPen);
        painter.setBrush(colour);
        painter.drawPolygon(triangle);
    }

    // The frame as the gauge draws its body, and the legend above it.
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(kFrame, 1));
    painter.drawRect(plot);
    enum swatch { Line, Dashed, Block };
    struct legendItem {
        QColor colour;
        QString text;
        swatch kind;
    };
    const legendItem legend[] = {{kCharge, tr("Charge (%)"), Line},
                                 {kInput, tr("Input (V)"), Line},
                                 {kOutput, tr("Output (V)"), Dashed},
                                 {kBattery, tr("On battery"), Block}};
    double x = plot.left();
    const double y = plot.top() - kMarkerSize - 4 - metrics.height() / 2.0;
    for (const legendItem& item : legend) {
        if (item.kind == Block) {
            painter.fillRect(QRectF(x, y - 5, 18, 10), item.colour.darker(110));
        } else if (item.kind == Dashed) {
            for (int dash = 0; dash < 3; ++dash)
                painter.fillRect(QRectF(x + dash * 7, y - 1.5, 4, 3), item.colour);
        } else {
            painter.fillRect(QRectF(x, y - 1.5, 18, 3), item.colour);
        }
        painter.setPen(palette().color(QPalette::Text));
        const int textWidth = metrics.horizontalAdvance(item.text);
        painter.drawText(
            QRectF(x + 22, y - metrics.height() / 2.0, textWidth + 2, metrics.height()),
            Qt::AlignLeft | Qt::AlignVCenter, item.text);
        x += 22 + textWidth + 16;
    }

    if (m_buckets.isEmpty()) {
        painter.setPen(palette().color(QPalette::PlaceholderText));
        painter.drawText(plot, Qt::AlignCenter, tr("No samples in this time range"));
    } else if (dataStart > m_fromMs) {
        // In the greyed part when it has room, else boxed beside it.
        const QString text = noDataText();
        const int textWidth = metrics.horizontalAdvance(text) + 12;
        QRectF box(noDataRight - plot.left() >= textWidth ? plot.left() : noDataRight + 4,
                   plot.center().y() - metrics.height(), textWidth, metrics.height() * 2);
        if (box.left() > plot.left()) {
            painter.setPen(QPen(kGrid, 1));
            painter.setBrush(palette().color(QPalette::Base));
            painter.drawRect(box);
            painter.setBrush(Qt::NoBrush);
        } else {
            box.setWidth(noDataRight - plot.left());
        }
        painter.setPen(palette().color(QPalette::PlaceholderText));
        painter.drawText(box, Qt::AlignCenter, text);
    }

    if (m_cursorX >= 0) paintCursor(painter, plot);
}
