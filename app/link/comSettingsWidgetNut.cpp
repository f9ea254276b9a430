// The settings page's rows for a UPS watched through Network UPS Tools, and
// the listing of upsd's UPS names in a short-lived background task.
#include <QComboBox>
#include <QFutureWatcher>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QtConcurrent>

#include "comSettings.h"
#include "comSettingsWidget.h"
#include "consolePrint.h"
#include "nutClient.h"

namespace {

// A listing may wait for a host that does not answer: never longer than this.
const int kListTimeoutMs = 3000;

struct upsListing {
    QStringList names;
    QString problem;  // empty when upsd listed its UPS
};

upsListing listUps(const QString& host, quint16 port) {
    upsListing result;
    nutclient::Connection connection(kListTimeoutMs);
    std::vector<nutclient::UpsEntry> entries;
    nutclient::Error e = connection.open(host.toStdString(), port);
    if (e == nutclient::Error::None) e = connection.listUps(&entries);
    if (e != nutclient::Error::None) {
        result.problem = QString::fromUtf8(nutclient::errorText(e));
        return result;
    }
    for (const nutclient::UpsEntry& entry : entries)
        result.names << QString::fromStdString(entry.name);
    return result;
}

}  // namespace

void comSettingsWidget::createNutControls() {
    auto label = [this](const char* objectName, const QString& text) {
        QLabel* l = new QLabel(text, this);
        l->setObjectName(QLatin1String(objectName));
        return l;
    };
    auto edit = [this](const char* objectName) {
        QLineEdit* e = new QLineEdit(this);
        e->setObjectName(QLatin1String(objectName));
        return e;
    };
    m_lblNutHost = label("m_lblNutHost", tr("Host:"));
    m_editNutHost = edit("m_editNutHost");
    m_lblNutPort = label("m_lblNutPort", tr("Port:"));
    m_spinNutPort = new QSpinBox(this);
    m_spinNutPort->setObjectName(QStringLiteral("m_spinNutPort"));
    m_spinNutPort->setRange(1, 65535);
    m_lblNutUps = label("m_lblNutUps", tr("UPS Name:"));
    // Typed where upsd refuses to list its UPS.
    m_cmbNutUps = new QComboBox(this);
    m_cmbNutUps->setObjectName(QStringLiteral("m_cmbNutUps"));
    m_cmbNutUps->setEditable(true);
    m_cmbNutUps->setInsertPolicy(QComboBox::NoInsert);
    m_cmbNutUps->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    m_cmbNutUps->setMinimumContentsLength(3);
    m_btnNutList = new QPushButton(tr("List"), this);
    m_btnNutList->setObjectName(QStringLiteral("m_btnNutList"));
    m_btnNutList->setToolTip(tr("Ask upsd for the names of its UPS"));
    m_lblNutUser = label("m_lblNutUser", tr("User:"));
    m_editNutUser = edit("m_editNutUser");
    m_editNutUser->setPlaceholderText(tr("only for writes"));
    m_lblNutPassword = label("m_lblNutPassword", tr("Password:"));
    m_editNutPassword = edit("m_editNutPassword");
    m_editNutPassword->setEchoMode(QLineEdit::Password);
    m_lblNutPollCycle = label("m_lblNutPollCycle", tr("Poll Cycle(ms):"));
    m_spinNutPollCycle = new QSpinBox(this);
    m_spinNutPollCycle->setObjectName(QStringLiteral("m_spinNutPollCycle"));
    m_spinNutPollCycle->setRange(int(comSettings::kNutMinPollCycle), 60000);
    m_spinNutPollCycle->setSingleStep(500);
}

void comSettingsWidget::showRowsOfMode() {
    const bool nut = m_cmbComMode->currentIndex() == comSettings::kModeNut;
    const QList<QPair<QLabel*, QWidget*>> serial = {
        {m_lblComPort, m_cmbComPort},        {m_lblDeviceId, m_spinDeviceId},
        {m_lblBaudRate, m_cmbBaudRate},      {m_lblDataLen, m_cmbDataLen},
        {m_lblStopBits, m_cmbStopBits},      {m_lblParity, m_cmbParity},
        {m_lblRetryCount, m_spinRetryCount}, {m_lblResponseTimeout, m_spinResponseTimeout},
        {m_lblPollCycle, m_spinPollCycle}};
    const QList<QPair<QLabel*, QWidget*>> network = {{m_lblNutHost, m_editNutHost},
                                                     {m_lblNutPort, m_spinNutPort},
                                                     {m_lblNutUps, m_cmbNutUps->parentWidget()},
                                                     {m_lblNutUser, m_editNutUser},
                                                     {m_lblNutPassword, m_editNutPassword},
                                                     {m_lblNutPollCycle, m_spinNutPollCycle}};
    for (const auto& row : serial) {
        row.first->setVisible(!nut);
        row.second->setVisible(!nut);
    }
    for (const auto& row : network) {
        row.first->setVisible(nut);
        row.second->setVisible(nut);
    }
    // In the narrowest panel the longest mode's name is cut: it is read whole
    // when pointed at.
    m_cmbComMode->setToolTip(m_cmbComMode->currentText());
}

void comSettingsWidget::slotOnComModeChanged() {
    showRowsOfMode();
    // The names are asked for when the kind is first chosen with a host set.
    if (m_settings->isNut() && m_cmbNutUps->count() == 0 && !m_settings->nutHost.isEmpty())
        slotOnListUps();
}

void comSettingsWidget::slotOnListUps() {
    const QString host = m_editNutHost->text().trimmed();
    if (m_listing || host.isEmpty()) return;
    m_listing = true;
    m_btnNutList->setEnabled(false);
    const quint16 port = static_cast<quint16>(m_spinNutPort->value());
    // The task copies what it needs and touches no widget; the watcher
    // brings its result back to the GUI thread and goes with the page.
    auto* watcher = new QFutureWatcher<upsListing>(this);
    connect(watcher, &QFutureWatcher<upsListing>::finished, this, [this, watcher, host] {
        const upsListing result = watcher->result();
        watcher->deleteLater();
        QString problem;
        if (!result.problem.isEmpty()) problem = tr("upsd on %1: %2").arg(host, result.problem);
        slotOnUpsListed(result.names, problem);
    });
    watcher->setFuture(QtConcurrent::run([host, port] { return listUps(host, port); }));
}

void comSettingsWidget::slotOnUpsListed(const QStringList& names, const QString& problem) {
    m_listing = false;
    m_btnNutList->setEnabled(m_linkState == 0);
    if (!problem.isEmpty()) {
        consolePrint::instance().printMsg(tr("%1; the UPS name can be typed in").arg(problem));
        return;
    }
    // The name typed or stored stays; the list only offers the others.
    const QString typed = m_cmbNutUps->currentText();
    QSignalBlocker blocker(m_cmbNutUps);
    m_cmbNutUps->clear();
    m_cmbNutUps->addItems(names);
    if (!typed.isEmpty())
        m_cmbNutUps->setEditText(typed);
    else if (!names.isEmpty())
        m_cmbNutUps->setCurrentIndex(0);
    blocker.unblock();
    if (typed.isEmpty() && !names.isEmpty()) slotOnSaveConfig();
    if (names.isEmpty()) consolePrint::instance().printMsg(tr("upsd lists no UPS"));
}
