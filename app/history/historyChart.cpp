#include "historyChart.h"

#include <QDateTime>
#include <QHelpEvent>
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
const QColor kBad(229, 57, 53);
const QColor kGood(46, 160, 67);
const QColor kOther(110, 110, 110);

const int kMarkerSize = 7;
const int kMarkerReach = 5;  // pixels around a marker that show its text

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
                           const QVector<history::event>& events) {
    m_fromMs = fromMs;
    m_toMs = qMax(fromMs + 1, toMs);
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

int historyChart::plotWidth() const {
    return plotRect().width();
}

double historyChart::xOf(qint64 timeMs, const QRect& plot) const {
    return plot.left() + double(timeMs - m_fromMs) * plot.width() / double(m_toMs - m_fromMs);
}

QString historyChart::markerText(const QPoint& at) const {
    const QRect plot = plotRect();
    if (at.y() < plot.top() - kMarkerSize - kMarkerReach || at.y() > plot.bottom())
        return QString();
    QStringList lines;
    // Oldest first, as they happened.
    for (int i = m_events.size() - 1; i >= 0; --i) {
        const history::event& e = m_events.at(i);
        if (std::abs(xOf(e.timeMs, plot) - at.x()) > kMarkerReach) continue;
        lines << QDateTime::fromMSecsSinceEpoch(e.timeMs).toString(
                     QStringLiteral("yyyy-MM-dd hh:mm:ss")) +
                     QStringLiteral("  ") + kindName(e.kind) + QStringLiteral(": ") + e.text;
    }
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

void historyChart::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Base));
    painter.setRenderHint(QPainter::Antialiasing, true);
    const QRect plot = plotRect();
    const QFontMetrics metrics(font());

    // The voltage axis: 0 to the highest voltage, rounded up to 4 V, so that
    // its four steps are whole volts.
    double maxMv = 0;
    for (const history::bucket& b : m_buckets)
        maxMv = qMax(maxMv, qMax<double>(b.inputMax, b.outputMv));
    const double topMv = qMax(4000.0, std::ceil(maxMv / 4000.0) * 4000.0);
    const auto yCharge = [&plot](double percent) {
        return plot.bottom() - percent * plot.height() / 100.0;
    };
    const auto yVolt = [&plot, topMv](double mv) {
        return plot.bottom() - mv * plot.height() / topMv;
    };

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
        painter.fillRect(QRectF(x, plot.top(), right - x, plot.height()), kBattery);
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
    const qint64 gapMs = qMax<qint64>(30000, 3 * span / qMax(1, plot.width()));
    painter.setClipRect(plot.adjusted(-1, -1, 1, 1));
    QPainterPath charge, input, output;
    QVector<QLineF> band;  // the input's range in each column
    for (int i = 0; i < m_buckets.size(); ++i) {
        const history::bucket& b = m_buckets.at(i);
        const bool joined = i > 0 && b.timeMs - m_buckets.at(i - 1).timeMs <= gapMs;
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
    painter.setPen(QPen(kOutput, 1.5));
    painter.drawPath(output);
    painter.setPen(QPen(kInput, 1.5));
    painter.drawPath(input);
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
    struct legendItem {
        QColor colour;
        QString text;
        bool block;
    };
    const legendItem legend[] = {{kCharge, tr("Charge (%)"), false},
                                 {kInput, tr("Input (V)"), false},
                                 {kOutput, tr("Output (V)"), false},
                                 {kBattery, tr("On battery"), true}};
    double x = plot.left();
    const double y = plot.top() - kMarkerSize - 4 - metrics.height() / 2.0;
    for (const legendItem& item : legend) {
        if (item.block)
            painter.fillRect(QRectF(x, y - 5, 18, 10), item.colour.darker(110));
        else
            painter.fillRect(QRectF(x, y - 1.5, 18, 3), item.colour);
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
    }
}
