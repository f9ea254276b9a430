#include "inforWidget.h"

#include <QScrollBar>
#include <QShowEvent>
#include <QTimer>

#include <QDateTime>
#include <QPlainTextEdit>
#include <QTabWidget>
#include <QVBoxLayout>

inforWidget::inforWidget(QWidget* parent) : baseWidget(parent) {
    setObjectName(QStringLiteral("inforWidget"));
    resize(712, 367);
    setWindowTitle(tr("inforWidget"));

    QVBoxLayout* verticalLayout = new QVBoxLayout(this);
    verticalLayout->setObjectName(QStringLiteral("verticalLayout"));
    verticalLayout->setSpacing(6);
    verticalLayout->setContentsMargins(11, 11, 11, 11);

    m_mainTabWidget = new QTabWidget(this);
    m_mainTabWidget->setObjectName(QStringLiteral("m_mainTabWidget"));
    m_mainTabWidget->setTabPosition(QTabWidget::South);
    m_mainTabWidget->setTabShape(QTabWidget::Triangular);

    m_tabStatus = new QWidget();
    m_tabStatus->setObjectName(QStringLiteral("m_tabStatus"));
    QVBoxLayout* verticalLayout_2 = new QVBoxLayout(m_tabStatus);
    verticalLayout_2->setObjectName(QStringLiteral("verticalLayout_2"));
    verticalLayout_2->setSpacing(6);
    verticalLayout_2->setContentsMargins(11, 11, 11, 11);

    m_statusOutput = new QPlainTextEdit(m_tabStatus);
    m_statusOutput->setObjectName(QStringLiteral("m_statusOutput"));
    m_statusOutput->setMaximumBlockCount(kMaxLogLines);
    // A log is read, not edited; and an editable view follows new lines only
    // while its text cursor is at the end, which a click elsewhere moves.
    m_statusOutput->setReadOnly(true);
    // The view follows new lines while the user has left it at the bottom,
    // and stays where the user put it otherwise. Whether it follows is
    // decided by the user's scrolling only, so that lines added while the
    // window is hidden (when the view does not lay itself out) cannot end
    // the following.
    QScrollBar* bar = m_statusOutput->verticalScrollBar();
    connect(bar, &QScrollBar::actionTriggered, this, [this, bar]() {
        QTimer::singleShot(0, this,
                           [this, bar]() { m_followLog = bar->value() >= bar->maximum(); });
    });
    connect(bar, &QScrollBar::rangeChanged, this, [this, bar]() {
        if (m_followLog) bar->setValue(bar->maximum());
    });
    verticalLayout_2->addWidget(m_statusOutput);

    m_mainTabWidget->addTab(m_tabStatus, tr("Status"));
    m_mainTabWidget->setCurrentWidget(m_tabStatus);
    verticalLayout->addWidget(m_mainTabWidget);
}

void inforWidget::slotOnShowMsg(QString msg) {
    // The time stamp is taken when the line is written, on the GUI thread.
    const QString stamp =
        QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz"));
    m_statusOutput->appendPlainText(stamp + QStringLiteral(">>") + msg);
}

void inforWidget::showEvent(QShowEvent* event) {
    baseWidget::showEvent(event);
    if (m_followLog) {
        QScrollBar* bar = m_statusOutput->verticalScrollBar();
        bar->setValue(bar->maximum());
    }
}
