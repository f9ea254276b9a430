// The History page: range buttons, the chart, the event list and the CSV export.
#include "historyWidget.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSqlDatabase>
#include <QStandardPaths>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>
#include <atomic>

#include "consolePrint.h"
#include "historyChart.h"
#include "historyStore.h"
#include "settingsStore.h"

namespace {

const qint64 kHourMs = 3600 * 1000LL;
const char* const kSettingsGroup = "History";

// Each query opens its own connection on the pool thread that runs it.
QString readerName() {
    static std::atomic<quint64> next{0};
    return QStringLiteral("history-read-%1").arg(++next);
}

// The folder Export… opens in: the last one used while it is there, else the
// user's documents, else home (never the program's own folder).
QString exportFolder() {
    const QString last =
        settingsStore::value(kSettingsGroup, QStringLiteral("exportFolder")).toString();
    if (!last.isEmpty() && QFileInfo(last).isDir()) return last;
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (!documents.isEmpty() && QFileInfo(documents).isDir()) return documents;
    return QDir::homePath();
}

}  // namespace

historyWidget::historyWidget(historyStore* store, QWidget* parent)
    : baseWidget(parent), m_store(store) {
    setObjectName(QStringLiteral("historyWidget"));
    QVBoxLayout* page = new QVBoxLayout(this);
    page->setSpacing(6);
    page->setContentsMargins(11, 11, 11, 11);

    // The range, whether it follows the present, and the export.
    QHBoxLayout* bar = new QHBoxLayout();
    bar->setSpacing(6);
    QLabel* rangeLabel = new QLabel(tr("Range:"), this);
    bar->addWidget(rangeLabel);
    m_ranges = new QButtonGroup(this);
    // The chosen range stands out whatever the theme does with tool buttons.
    const QString rangeStyle = QStringLiteral(
        "QToolButton { padding: 2px 8px; border: 1px solid transparent; border-radius: 3px; }"
        "QToolButton:checked { background: #d6e6f5; border-color: #3b82c4; }");
    m_ranges->setExclusive(true);
    const struct {
        const char* name;
        QString text;
        qint64 span;
    } ranges[] = {{"m_range1h", tr("1 h"), kHourMs},
                  {"m_range24h", tr("24 h"), 24 * kHourMs},
                  {"m_range7d", tr("7 d"), 7 * 24 * kHourMs},
                  {"m_range30d", tr("30 d"), 30 * 24 * kHourMs}};
    int id = 0;
    for (const auto& range : ranges) {
        QToolButton* button = new QToolButton(this);
        button->setObjectName(QLatin1String(range.name));
        button->setText(range.text);
        button->setCheckable(true);
        button->setStyleSheet(rangeStyle);
        button->setMinimumWidth(48);
        button->setChecked(range.span == m_spanMs);
        m_ranges->addButton(button, id++);
        button->setProperty("spanMs", range.span);
        bar->addWidget(button);
    }
    bar->addSpacing(12);
    m_follow = new QCheckBox(tr("Follow"), this);
    m_follow->setObjectName(QStringLiteral("m_follow"));
    m_follow->setToolTip(tr("Keep the range ending now and refresh it every few seconds"));
    m_follow->setChecked(true);
    bar->addWidget(m_follow);
    bar->addStretch(1);
    m_export = new QPushButton(tr("Export…"), this);
    m_export->setObjectName(QStringLiteral("m_export"));
    m_export->setToolTip(tr("Write the samples and events of the range shown as CSV files"));
    bar->addWidget(m_export);
    page->addLayout(bar);

    m_problem = new QLabel(this);
    m_problem->setObjectName(QStringLiteral("m_problem"));
    m_problem->setWordWrap(true);
    m_problem->setStyleSheet(QStringLiteral("color: #b71c1c;"));
    m_problem->hide();
    page->addWidget(m_problem);

    m_chart = new historyChart(this);
    page->addWidget(m_chart, 3);

    // The events of the range, newest first.
    QHBoxLayout* filter = new QHBoxLayout();
    filter->setSpacing(6);
    filter->addWidget(new QLabel(tr("Events:"), this));
    m_kind = new QComboBox(this);
    m_kind->setObjectName(QStringLiteral("m_kind"));
    m_kind->addItem(tr("All kinds"), -1);
    for (int kind = 0; kind < history::kEventKinds; ++kind)
        m_kind->addItem(historyChart::kindName(kind), kind);
    m_kind->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    filter->addWidget(m_kind);
    filter->addStretch(1);
    m_count = new QLabel(this);
    m_count->setObjectName(QStringLiteral("m_count"));
    filter->addWidget(m_count);
    page->addLayout(filter);

    m_list = new QTreeWidget(this);
    m_list->setObjectName(QStringLiteral("m_list"));
    m_list->setColumnCount(3);
    m_list->setHeaderLabels({tr("Time"), tr("Event"), tr("Details")});
    m_list->setRootIsDecorated(false);
    m_list->setUniformRowHeights(true);
    m_list->setAlternatingRowColors(true);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->header()->setStretchLastSection(true);
    m_list->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    m_list->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    m_list->setMinimumHeight(m_list->fontMetrics().height() * 5);
    page->addWidget(m_list, 2);

    m_followTimer = new QTimer(this);
    m_followTimer->setInterval(kFollowIntervalMs);
    connect(m_followTimer, &QTimer::timeout, this, &historyWidget::reload);

    connect(
        m_ranges, QOverload<QAbstractButton*>::of(&QButtonGroup::buttonClicked), this,
        [this](QAbstractButton* button) { setSpanMs(button->property("spanMs").toLongLong()); });
    connect(m_follow, &QCheckBox::toggled, this, &historyWidget::setFollow);
    connect(m_kind, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &historyWidget::reload);
    connect(m_export, &QPushButton::clicked, this, &historyWidget::slotOnExport);
    connect(&m_watcher, &QFutureWatcherBase::finished, this, &historyWidget::slotOnLoaded);
    if (m_store != nullptr)
        connect(m_store, &historyStore::signalAvailability, this,
                &historyWidget::slotOnAvailability);
    updateProblem();
}

historyWidget::~historyWidget() {
    m_watcher.waitForFinished();
}

void historyWidget::setSpanMs(qint64 spanMs) {
    m_spanMs = spanMs;
    for (QAbstractButton* button : m_ranges->buttons())
        button->setChecked(button->property("spanMs").toLongLong() == spanMs);
    if (!m_follow->isChecked()) m_endMs = historyStore::nowMs();
    reload();
}

void historyWidget::setFollow(bool follow) {
    if (m_follow->isChecked() != follow) {
        m_follow->setChecked(follow);  // comes back here through toggled
        return;
    }
    if (!follow) m_endMs = historyStore::nowMs();
    if (follow && m_front)
        m_followTimer->start();
    else
        m_followTimer->stop();
    reload();
}

void historyWidget::showUntil(qint64 endMs) {
    m_follow->blockSignals(true);
    m_follow->setChecked(false);
    m_follow->blockSignals(false);
    m_followTimer->stop();
    m_endMs = endMs;
    reload();
}

void historyWidget::slotOnSetEnabled(bool enabled) {
    m_front = enabled;
    if (!enabled) {
        m_followTimer->stop();
        return;
    }
    if (m_follow->isChecked()) m_followTimer->start();
    updateProblem();
    reload();
}

void historyWidget::slotOnAvailability(bool available) {
    Q_UNUSED(available);
    updateProblem();
    reload();
}

void historyWidget::updateProblem() {
    const bool unavailable = m_store == nullptr || m_store->state() == historyStore::Unavailable;
    m_problem->setVisible(unavailable);
    if (unavailable) {
        const QString why = m_store != nullptr ? m_store->problem() : QString();
        m_problem->setText(why.isEmpty() ? tr("The history is unavailable.")
                                         : tr("The history is unavailable: %1").arg(why));
    }
    m_export->setEnabled(!unavailable);
}

void historyWidget::reload() {
    // Drawn only while in front; a change while hidden is picked up on return.
    if (!m_front || m_store == nullptr) return;
    if (m_watcher.isRunning()) {
        m_pending = true;
        return;
    }
    m_pending = false;
    m_loading = true;
    const qint64 to = m_follow->isChecked() ? historyStore::nowMs() : m_endMs;
    const qint64 from = to - m_spanMs;
    const int columns = qMax(1, m_chart->plotWidth());
    const int kind = m_kind->currentData().toInt();
    const QString path = m_store->path();
    m_watcher.setFuture(QtConcurrent::run([path, from, to, columns, kind]() {
        result r{from, to, {}, {}, {}, -1, false};
        const QString name = readerName();
        if (!history::open(name, path, true, nullptr)) return r;
        {
            QSqlDatabase db = QSqlDatabase::database(name, false);
            r.buckets = history::chart(db, from, to, columns);
            r.markers = history::events(db, from, to, -1, kListLimit);
            r.list = kind < 0 ? r.markers : history::events(db, from, to, kind, kListLimit);
            r.firstSampleMs = history::firstSampleMs(db);
            r.ok = true;
        }
        history::close(name);
        return r;
    }));
}

void historyWidget::slotOnLoaded() {
    const result r = m_watcher.result();
    m_loading = false;
    m_chart->setData(r.fromMs, r.toMs, r.buckets, r.markers, r.firstSampleMs);
    m_list->clear();
    QList<QTreeWidgetItem*> items;
    for (const history::event& e : r.list) {
        QTreeWidgetItem* item = new QTreeWidgetItem();
        item->setText(0, QDateTime::fromMSecsSinceEpoch(e.timeMs).toString(
                             QStringLiteral("yyyy-MM-dd hh:mm:ss")));
        item->setText(1, historyChart::kindName(e.kind));
        item->setText(2, e.text);
        items.append(item);
    }
    m_list->addTopLevelItems(items);
    m_count->setText(tr("Events shown: %1").arg(r.list.size()));
    if (m_pending) reload();
}

void historyWidget::slotOnExport() {
    const QString suggested =
        exportFolder() + QStringLiteral("/history-") +
        QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmm"));
    QString base = QFileDialog::getSaveFileName(this, tr("Export history"), suggested,
                                                tr("CSV files (*.csv)"));
    if (base.isEmpty()) return;
    settingsStore::setValue(kSettingsGroup, QStringLiteral("exportFolder"),
                            QFileInfo(base).absolutePath());
    for (const QString& ending :
         {QStringLiteral(".csv"), QStringLiteral("-samples"), QStringLiteral("-events")})
        if (base.endsWith(ending)) base.chop(ending.size());
    exportTo(base);
}

void historyWidget::exportTo(const QString& base) {
    if (m_store == nullptr) return;
    const qint64 to = m_follow->isChecked() ? historyStore::nowMs() : m_endMs;
    const qint64 from = to - m_spanMs;
    const QString path = m_store->path();
    const QString samples = base + QStringLiteral("-samples.csv");
    const QString events = base + QStringLiteral("-events.csv");
    const QString done = tr("History exported to %1 and %2.").arg(samples, events);
    const QString failed = tr("The history could not be exported: %1");
    // Off the GUI thread: a month of samples takes a moment; the log tells the outcome.
    QtConcurrent::run([path, from, to, samples, events, done, failed]() {
        const QString name = readerName();
        QString error;
        bool ok = history::open(name, path, true, &error);
        if (ok) {
            {
                QSqlDatabase db = QSqlDatabase::database(name, false);
                ok = history::exportCsv(db, from, to, samples, events, &error);
            }
            history::close(name);
        }
        consolePrint::instance().printMsg(ok ? done : failed.arg(error));
    });
}
