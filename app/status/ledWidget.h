// A round indicator lamp with a caption below it, for the module's digital
// inputs and outputs on the status page. Disabled, it shows that no state is
// known: a grey ring and a greyed caption.
#pragma once

#include <QColor>
#include <QRect>
#include <QString>
#include <QWidget>

class ledWidget : public QWidget {
    Q_OBJECT
public:
    explicit ledWidget(QWidget* parent = nullptr);

    bool isOn() const { return m_on; }
    QString text() const { return m_text; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

public slots:
    // The colour and caption setters repaint only on a change; the state
    // slots always repaint.
    void setOnColor(QColor color);
    void setOffColor(QColor color);
    void setText(QString text);
    void toggle();
    void turnOn(bool on);
    void turnOn();
    void turnOff(bool off);
    void turnOff();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void updateGeometryRects();

    QColor m_onColor = Qt::green;
    QColor m_offColor = Qt::gray;
    QColor m_textColor = Qt::black;
    bool m_on = false;
    QString m_text;
    int m_lampMargin = 2;

    int m_unit = 0;  // a third of the shorter side
    QRect m_lampRect;
    QRect m_textRect;
};
