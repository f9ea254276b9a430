// The message page: the log view, its following of new lines and its menu.
#include "inforWidget.h"

#include <QAction>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QSaveFile>
#include <QScrollBar>
#include <QShowEvent>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "consolePrint.h"

inforWidget::inforWidget(QWidget* parent) : baseWidget(parent) {
    setObjectName(QStringLiteral("inforWidget"));
    resize(712, 367);
    setWindowTitle(tr("inforWidget"));

    QVBoxLayout* verticalLayout = new QVBoxLayout(this);
    verticalLayout->setObjectName(QStringLiteral("verticalLayout"));
    verticalLayout->setSpacing(6);
    // Thin margins: in a low window every pixel of the dock is a line of log.
    verticalLayout->setContentsMargins(6, 2, 6, 2);

    m_mainTabWidget = new QTabWidget(this);
    m_mainTabWidget->setObjectName(QStringLiteral("m_mainTabWidget"));
    m_mainTabWidget->setTabPosition(QTabWidget::South);
    m_mainTabWidget->setTabShape(QTabWidget::Triangular);

    m_tabStatus = new QWidget();
    m_tabStatus->setObjectName(QStringLiteral("m_tabStatus"));
    QVBoxLayout* verticalLayout_2 = new QVBoxLayout(m_tabStatus);
    verticalLayout_2->setObjectName(QStringLiteral("verticalLayout_2"));
    verticalLayout_2->setSpacing(6);
    verticalLayout_2->setContentsMargins(2, 2, 2, 2);

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

    m_saveFileChooser = [](QWidget* owner, const QString& caption, const QString& proposed,
                           const QString& filters) {
        return QFileDialog::getSaveFileName(owner, caption, proposed, filters);
    };
    m_statusOutput->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_statusOutput, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        QMenu* menu = createLogMenu();
        menu->setAttribute(Qt::WA_DeleteOnClose);
        menu->popup(m_statusOutput->viewport()->mapToGlobal(at));
    });

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
    if (!m_followLog) return;
    scrollToEnd();
    // Lines added while the window was hidden are laid out only once it is
    // shown again, which moves the end: the view goes there again after that,
    // so that the newest line is at the bottom, not alone at the top.
    QTimer::singleShot(0, this, [this]() {
        if (m_followLog) scrollToEnd();
    });
}

void inforWidget::scrollToEnd() {
    QScrollBar* bar = m_statusOutput->verticalScrollBar();
    bar->setValue(bar->maximum());
}

void inforWidget::setSaveFileChooser(SaveFileChooser chooser) {
    m_saveFileChooser = std::move(chooser);
}

QMenu* inforWidget::createLogMenu() {
    QMenu* menu = m_statusOutput->createStandardContextMenu();
    menu->addSeparator();
    QAction* save = menu->addAction(tr("Save log…"), this, &inforWidget::slotOnSaveLogAs);
    save->setObjectName(QStringLiteral("m_saveLogAction"));
    QAction* clear = menu->addAction(tr("Clear"), m_statusOutput, &QPlainTextEdit::clear);
    clear->setObjectName(QStringLiteral("m_clearLogAction"));
    const bool empty = m_statusOutput->document()->isEmpty();
    save->setEnabled(!empty);
    clear->setEnabled(!empty);
    return menu;
}

void inforWidget::slotOnSaveLogAs() {
    // Proposed in the user's documents (or home), never in the program's folder.
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty() || !QDir(folder).exists()) folder = QDir::homePath();
    const QString proposed =
        folder + QStringLiteral("/ambrel-log-") +
        QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss")) +
        QStringLiteral(".txt");
    const QString fileName =
        m_saveFileChooser(this, tr("Save log"), proposed,
                          tr("Text files (*.txt)") + QStringLiteral(";;") + tr("All files (*)"));
    if (fileName.isEmpty()) return;
    if (!saveLog(fileName))
        QMessageBox::warning(this, tr("Save log"),
                             tr("The log could not be saved to %1.").arg(fileName));
}

bool inforWidget::saveLog(const QString& fileName) {
    // Written whole or not at all: a failed save leaves no half file behind.
    QSaveFile file(fileName);
    const QByteArray text = m_statusOutput->toPlainText().toUtf8() + '\n';
    if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit()) {
        consolePrint::instance().printMsg(
            tr("ERR: The log could not be saved to %1: %2").arg(fileName, file.errorString()));
        return false;
    }
    consolePrint::instance().printMsg(tr("The log was saved to %1.").arg(fileName));
    return true;
}
