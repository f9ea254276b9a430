// The History page's chart, drawn with QPainter in the battery gauge's style:
// the charge (left axis, %) and the input and output voltage (right axis, V)
// against time, one value per pixel column as the database decimated them,
// the periods on battery shaded, the time before the first sample greyed, the
// events as markers whose text a tool tip shows, and a cursor under the mouse
// with the values at its time.
#pragma once

#include <QVector>
#include <QWidget>

#include "historyDb.h"

class historyChart : public QWidget {
    Q_OBJECT
public:
    explicit historyChart(QWidget* parent = nullptr);

    // firstSampleMs: the oldest sample stored, -1 none; the part of the range
    // before it is shown as having no data.
    void setData(qint64 fromMs, qint64 toMs, const QVector<history::bucket>& buckets,
                 const QVector<history::event>& events, qint64 firstSampleMs = -1);
    // The plot's width in pixels: the number of buckets worth asking for.
    int plotWidth() const;
    // The text of the markers at a point of the widget, empty when none.
    QString markerText(const QPoint& at) const;
    // The cursor's read-out at a time of the range: the time and the charge,
    // input and output there, or that there is no data; empty outside the range.
    QString readoutAt(qint64 timeMs) const;
    // "No data before <time>" while the stored samples begin inside the range, else empty.
    QString noDataText() const;
    // A name for each event kind, in the user's language.
    static QString kindName(int kind);

    QSize minimumSizeHint() const override;

protected:
    bool event(QEvent* e) override;
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    QRect plotRect() const;
    // The part of the plot the values span: the plot less a margin on top,
    // so that full charge and the highest voltage stay off the frame.
    QRect valueRect(const QRect& plot) const;
    double xOf(qint64 timeMs, const QRect& plot) const;
    qint64 timeAt(double x, const QRect& plot) const;
    // The time from which the range holds data: the first sample when it lies
    // inside the range by more than a few columns, else the range's start.
    qint64 dataStartMs() const;
    // The largest step between two samples that still joins them in a line.
    qint64 gapMs() const;
    void paintCursor(QPainter& painter, const QRect& plot);

    qint64 m_fromMs = 0;
    qint64 m_toMs = 1;
    qint64 m_firstSampleMs = -1;
    QVector<history::bucket> m_buckets;
    QVector<history::event> m_events;
    int m_cursorX = -1;  // the mouse's column, -1 while it is elsewhere
};
