// A horizontal battery symbol with up to five charge cells (one per 20 %), a
// thin bar in the first cell below 20 %, and the charge in percent, painted by
// hand so that it scales with the status page.
#pragma once

#include <QColor>
#include <QRect>
#include <QWidget>

class batteryWidget : public QWidget {
    Q_OBJECT
public:
    explicit batteryWidget(QWidget* parent = nullptr);

    int value() const { return m_value; }
    // Idle: no charge known (no device, or a lost line). Drawn grey, with
    // no cells and a dash instead of a percentage, so that it cannot pass
    // for an empty battery.
    bool isIdle() const { return m_idle; }
    void setIdle(bool idle);
    // 0 normal (green cells), 1 warning level reached (amber), 2 critical
    // (red); the percentage is drawn in the alert colour too, so that an
    // empty battery on alert still shows it.
    void setAlertLevel(int level);
    int alertLevel() const { return m_alertLevel; }
    // The critical level (percent) the low bar turns red at; 0 (off) keeps
    // the default, red from 9 % down, since a charge that low is red anyway.
    static const int kDefaultCriticalLevel = 9;
    void setCriticalLevel(int level);
    int criticalLevel() const { return m_criticalLevel; }

signals:
    // Kept for connections made by name; the widget never emits it.
    void valueChanged(int value);

public slots:
    // Clamps to 0..100 and repaints, even when the value stays the same.
    void slotOnSetValue(int value);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private slots:
    void updateValue();
    void slotOnBlink();

private:
    void updateGeometryRects();

    int m_value = 0;
    bool m_idle = false;
    QColor m_idleColor{150, 150, 150, 255};
    int m_alertLevel = 0;
    int m_criticalLevel = kDefaultCriticalLevel;
    int m_minimum = 0;
    int m_maximum = 100;
    QColor m_borderColor{0, 0, 0, 255};
    int m_penWidth = 2;
    QColor m_fillColor{50, 205, 50, 255};
    int m_cellSpacing = 5;
    int m_cellInset = 5;
    int m_cellCount = 5;
    int m_marginX = 0;
    int m_marginY = 0;
    int m_headWidth = 10;

    QRect m_bodyRect;
    QRect m_headRect;
    QRect m_textRect;
    int m_cellPitch = 0;
    int m_cellHeight = 0;
};
