// The battery gauge: its geometry, state and painting.
#include "batteryWidget.h"

#include <QPainter>
#include <QPen>
#include <QtGlobal>

batteryWidget::batteryWidget(QWidget* parent) : QWidget(parent) {
    updateGeometryRects();
}

void batteryWidget::slotOnSetValue(int value) {
    // Set on every poll: repaint only when the charge changed.
    const int bounded = qBound(m_minimum, value, m_maximum);
    if (bounded == m_value) return;
    m_value = bounded;
    updateValue();
}

void batteryWidget::setIdle(bool idle) {
    if (idle == m_idle) return;
    m_idle = idle;
    update();
}

void batteryWidget::setAlertLevel(int level) {
    if (level == m_alertLevel) return;
    m_alertLevel = level;
    update();
}

void batteryWidget::setCriticalLevel(int level) {
    const int bounded = level > 0 ? qMin(level, m_maximum) : kDefaultCriticalLevel;
    if (bounded == m_criticalLevel) return;
    m_criticalLevel = bounded;
    update();
}

void batteryWidget::updateValue() {
    update();
}

void batteryWidget::slotOnBlink() {}

void batteryWidget::updateGeometryRects() {
    const int bodyWidth = width() - 2 * m_marginX - m_headWidth;
    const int bodyHeight = height() - 2 * m_marginY;
    m_bodyRect = QRect(m_marginX, m_marginY, bodyWidth, bodyHeight);
    m_headRect =
        QRect(bodyWidth + m_marginX, bodyHeight / 4 + m_marginY, m_headWidth, bodyHeight / 2);
    m_cellPitch = (bodyWidth - m_cellSpacing) / m_cellCount;
    m_cellHeight = bodyHeight - 2 * m_cellInset;
    m_textRect = m_bodyRect;
}

void batteryWidget::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    updateGeometryRects();
    QFont f = font();
    f.setFamily("Microsoft Yahei");
    // A widget squeezed below 5 pixels would ask for point size 0, which Qt
    // refuses with a warning; keep the smallest valid size instead.
    f.setPointSize(qMax(1, m_bodyRect.height() / 5));
    setFont(f);
    update();
}

void batteryWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);

    const QColor border = m_idle ? m_idleColor : m_borderColor;
    painter.save();
    painter.setPen(QPen(border, m_penWidth, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(m_bodyRect);
    painter.setBrush(border);
    painter.drawRect(m_headRect);
    painter.restore();

    static const QColor kAmber(0xFF, 0xB3, 0x00);
    static const QColor kRed(0xE5, 0x39, 0x35);
    const QColor fill = m_alertLevel == 2 ? kRed : m_alertLevel == 1 ? kAmber : m_fillColor;
    painter.save();
    painter.setPen(QPen(fill, m_penWidth, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
    painter.setBrush(fill);
    const int cellValue = m_maximum / m_cellCount;
    const int cells = m_idle ? 0 : m_value / cellValue;
    const int cellWidth = m_cellPitch - m_cellSpacing;
    if (cellWidth > 0 && m_cellHeight > 0) {
        for (int i = 0; i < cells; ++i) {
            painter.drawRect(m_cellSpacing + i * m_cellPitch, m_cellInset + m_marginY, cellWidth,
                             m_cellHeight);
        }
    }
    painter.restore();

    // Below one cell the outline alone would look the same at 19 % and at
    // 1 %: a thin bar across the middle of the first cell follows the charge,
    // red at or below the critical level, amber above it.
    if (!m_idle && cells == 0 && m_value > 0 && cellWidth > 0 && m_cellHeight > 0) {
        const int length = qMax(2, cellWidth * m_value / cellValue);
        const int thickness = qMax(3, m_cellHeight / 3);
        const QRect bar(m_cellSpacing, m_marginY + m_cellInset + (m_cellHeight - thickness) / 2,
                        length, thickness);
        painter.fillRect(bar, m_value <= m_criticalLevel ? kRed : kAmber);
    }

    painter.save();
    QPen textPen(m_idle || m_alertLevel == 0 ? border : fill.darker(130));
    textPen.setCosmetic(true);
    painter.setPen(textPen);
    painter.setFont(font());
    painter.drawText(m_textRect, Qt::AlignCenter,
                     m_idle ? QString(QChar(0x2014)) : QString::number(m_value) + "%");
    painter.restore();
}
