#include "inforWidget.h"

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
