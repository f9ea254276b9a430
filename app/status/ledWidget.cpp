// The indicator lamp: its geometry, state slots and painting.
#include "ledWidget.h"

#include <QPainter>
#include <QPen>
#include <QtGlobal>

ledWidget::ledWidget(QWidget* parent) : QWidget(parent) {
    updateGeometryRects();
}

QSize ledWidget::sizeHint() const {
    return QSize(20, 20);
}

QSize ledWidget::minimumSizeHint() const {
    return QSize(16, 16);
}

void ledWidget::setOnColor(QColor color) {
    if (color == m_onColor) return;
    m_onColor = color;
    update();
}

void ledWidget::setOffColor(QColor color) {
    if (color == m_offColor) return;
    m_offColor = color;
    update();
}

void ledWidget::setText(QString text) {
    if (text == m_text) return;
    m_text = text;
    update();
}

void ledWidget::toggle() {
    m_on = !m_on;
    update();
}

void ledWidget::turnOn(bool on) {
    // Set on every poll: repaint only what changed.
    if (on == m_on) return;
    m_on = on;
    update();
}

void ledWidget::turnOn() {
    turnOn(true);
}

void ledWidget::turnOff(bool off) {
    turnOn(!off);
}

void ledWidget::turnOff() {
    turnOn(false);
}

void ledWidget::updateGeometryRects() {
    const int w = width();
    m_unit = qMin(w, height()) / 3;
    const int diameter = 2 * m_unit;
    m_lampRect = QRect((w - diameter) / 2, 0, diameter, diameter);
    m_textRect = QRect(0, diameter, w, m_unit);
}

void ledWidget::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    updateGeometryRects();
    QFont f = font();
    f.setFamily("Microsoft Yahei");
    // Below 6 pixels the formula gives point size 0, which Qt refuses.
    f.setPointSize(qMax(1, m_unit / 2));
    setFont(f);
    update();
}

void ledWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);

    // Disabled: no state known. An empty ring in the disabled text colour,
    // so that it differs from an off lamp in shape, not only in shade.
    const bool known = isEnabled();
    const QColor muted = palette().color(QPalette::Disabled, QPalette::WindowText);
    const QColor color = !known ? muted : m_on ? m_onColor : m_offColor;
    const int m = m_lampMargin;
    if (known) {
        painter.setPen(QPen(color, 1, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
        painter.setBrush(QBrush(color, Qt::SolidPattern));
    } else {
        painter.setPen(QPen(color, qMax(1, m_unit / 8)));
        painter.setBrush(Qt::NoBrush);
    }
    if (m_lampRect.width() > 2 * m) {
        painter.drawEllipse(m_lampRect.adjusted(m, m, -m, -m));
    }

    painter.setPen(known ? m_textColor : muted);
    painter.setFont(font());
    painter.drawText(m_textRect, Qt::AlignCenter, m_text);
}
