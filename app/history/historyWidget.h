// The History page: the chart of the chosen time range (1 h, 24 h, 7 d,
// 30 d), following the present or fixed, the events of that range under it,
// newest first and filterable by kind, and "Export…" writing both as CSV.
// It reads the database through connections of its own, off the GUI thread,
// and only while it is in front; it is there (showing what is stored) also
// while no module is connected.
#pragma once

#include <QFutureWatcher>
#include <QVector>

#include "baseWidget.h"
#include "historyDb.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QTimer;
class QTreeWidget;
class historyChart;
class historyStore;

class historyWidget : public baseWidget {
    Q_OBJECT
public:
    static const int kFollowIntervalMs = 2000;
    static const int kListLimit = 2000;

    explicit historyWidget(historyStore* store, QWidget* parent = nullptr);
    ~historyWidget() override;

    // The range shown, in ms: one of 1 h, 24 h, 7 d and 30 d.
    qint64 spanMs() const { return m_spanMs; }
    void setSpanMs(qint64 spanMs);
    void setFollow(bool follow);
    // Shows the range ending at the time given (not following).
    void showUntil(qint64 endMs);
    // Whether a query is under way or its result not yet shown (tests wait for it).
    bool busy() const { return m_loading || m_pending; }
    historyChart* chart() const { return m_chart; }

    // Writes "<base>-samples.csv" and "<base>-events.csv" for the range shown;
    // the outcome goes to the message log.
    void exportTo(const QString& base);

public slots:
    void slotOnSetEnabled(bool enabled) override;
    void slotOnAvailability(bool available);

private slots:
    void slotOnExport();
    void slotOnLoaded();

private:
    struct result {
        qint64 fromMs;
        qint64 toMs;
        QVector<history::bucket> buckets;
        QVector<history::event> markers;
        QVector<history::event> list;
        qint64 firstSampleMs;
        bool ok;
    };
    void reload();
    void updateProblem();

    historyStore* m_store;
    historyChart* m_chart;
    QButtonGroup* m_ranges;
    QCheckBox* m_follow;
    QPushButton* m_export;
    QComboBox* m_kind;
    QLabel* m_count;
    QLabel* m_problem;
    QTreeWidget* m_list;
    QTimer* m_followTimer;
    QFutureWatcher<result> m_watcher;
    bool m_front = false;
    bool m_pending = false;  // a reload asked for while one runs
    bool m_loading = false;  // from a query's start until its result is shown
    qint64 m_spanMs = 24 * 3600 * 1000LL;
    qint64 m_endMs = 0;  // the fixed end while not following
};
