// The History page's chart, drawn with QPainter in the battery gauge's style:
// the charge (left axis, %) and the input and output voltage (right axis, V)
// against time, one value per pixel column as the database decimated them,
// the periods on battery shaded, and the events as markers whose text a tool
// tip shows.
#pragma once

#include <QVector>
#include <QWidget>

#include "historyDb.h"

class historyChart : public QWidget {
    Q_OBJECT
public:
    explicit historyChart(QWidget* parent = nullptr);

    void setData(qint64 fromMs, qint64 toMs, const QVector<history::bucket>& buckets,
                 const QVector<history::event>& events);
    // The plot's width in pixels: the number of buckets worth asking for.
    int plotWidth() const;
    // The text of the markers at a point of the widget, empty when none.
    QString markerText(const QPoint& at) const;
    // A name for each event kind, in the user's language.
    static QString kindName(int kind);

    QSize minimumSizeHint() const override;

protected:
    bool event(QEvent* e) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QRect plotRect() const;
    double xOf(qint64 timeMs, const QRect& plot) const;

    qint64 m_fromMs = 0;
    qint64 m_toMs = 1;
    QVector<history::bucket> m_buckets;
    QVector<history::event> m_events;
};
