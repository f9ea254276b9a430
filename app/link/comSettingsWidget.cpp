// The communication settings page: its controls, the record and the buttons.
#include "comSettingsWidget.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSerialPortInfo>
#include <QSet>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>
#include <map>

#include "QXUPSPorts.h"
#include "appPaths.h"
#include "autoStart.h"
#include "comSettings.h"
#include "comSettingsFile.h"
#include "consolePrint.h"
#include "monitorThread.h"

namespace {

const int kUpdateIntervalMs = 100;

// The ports the library can open, as "COMn" names with their device paths:
// every serial port present that the fixed port table covers, then every
// QXUPS_COM<n> set in the environment, which takes the place of the table's
// entry of the same number, so that each name appears once and names what the
// library opens.
struct PortEntry {
    QString name;
    QString toolTip;
};

QString overridePath(unsigned number) {
    char name[32];
    QXUPS_PortEnvName(number, name, sizeof name);
    return qEnvironmentVariable(name);
}

QList<PortEntry> listPorts() {
    QSet<unsigned> overridden;
    for (unsigned n = 1; n <= kQXUPS_PortEnvMax; ++n)
        if (!overridePath(n).isEmpty()) overridden.insert(n);

    std::map<unsigned, PortEntry> table;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        const QByteArray path = QFile::encodeName(info.systemLocation());
        const unsigned n = QXUPS_PortNumberOfDevice(path.constData());
        if (n == 0 || overridden.contains(n)) continue;
        QString tip = info.systemLocation();
        if (!info.description().isEmpty()) tip += QStringLiteral(" - ") + info.description();
        table[n] = PortEntry{QStringLiteral("COM%1").arg(n), tip};
    }

    QList<PortEntry> ports;
    for (const auto& entry : table)
        ports << entry.second;
    for (unsigned n = 1; n <= kQXUPS_PortEnvMax; ++n)
        if (overridden.contains(n))
            ports << PortEntry{QStringLiteral("COM%1").arg(n), overridePath(n)};
    return ports;
}

quint32 unsignedText(const QComboBox* box) {
    return box->currentText().toUInt();
}

}  // namespace

comSettingsWidget::comSettingsWidget(QWidget* parent) : baseWidget(parent) {
    if (objectName().isEmpty()) setObjectName(QStringLiteral("comSettingsWidget"));
    resize(316, 513);
    setWindowTitle(tr("comSettingsWidget"));
    setMinimumWidth(240);
    m_autoConnectDone = 0;

    // config_com.xml is written into the settings folder (the program's own
    // folder when it is writable).
    m_configDir = appPaths::settingsDir() + QStringLiteral("/configs/");
    appPaths::makeFolder(m_configDir);

    // The one record of the program; it goes with the page when the program ends.
    m_settings = new comSettings(this);

    createControls();
    createLayout();

    m_updateTimer = new QTimer(this);
    m_updateTimer->setInterval(kUpdateIntervalMs);

    // Loading before the change signals are connected: filling the controls
    // from the file does not write it back.
    slotOnLoadConfig();

    for (QComboBox* box :
         {m_cmbComMode, m_cmbComPort, m_cmbBaudRate, m_cmbDataLen, m_cmbStopBits, m_cmbParity})
        connect(box, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
                &comSettingsWidget::slotOnSaveConfig);
    for (QSpinBox* box : {m_spinDeviceId, m_spinResponseTimeout, m_spinRetryCount, m_spinPollCycle})
        connect(box, QOverload<int>::of(&QSpinBox::valueChanged), this,
                &comSettingsWidget::slotOnSaveConfig);
    for (QCheckBox* box : {m_chkAutoConnect, m_chkAutoBoot, m_chkAutoHide})
        connect(box, &QCheckBox::stateChanged, this, &comSettingsWidget::slotOnSaveConfig);
    for (QSpinBox* box : {m_spinNutPort, m_spinNutPollCycle})
        connect(box, QOverload<int>::of(&QSpinBox::valueChanged), this,
                &comSettingsWidget::slotOnSaveConfig);
    for (QLineEdit* edit : {m_editNutHost, m_editNutUser, m_editNutPassword})
        connect(edit, &QLineEdit::editingFinished, this, &comSettingsWidget::slotOnSaveConfig);
    connect(m_cmbNutUps, &QComboBox::currentTextChanged, this,
            &comSettingsWidget::slotOnSaveConfig);
    connect(m_cmbComMode, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &comSettingsWidget::slotOnComModeChanged);
    // A host entered is asked for its UPS names at once.
    connect(m_editNutHost, &QLineEdit::editingFinished, this, [this] {
        if (m_settings->isNut() && !m_editNutHost->text().trimmed().isEmpty()) slotOnListUps();
    });
    connect(m_btnNutList, &QPushButton::clicked, this, &comSettingsWidget::slotOnListUps);
    connect(m_btnConnect, &QPushButton::released, this, &comSettingsWidget::slotOnConnect);
    connect(m_btnDisconnect, &QPushButton::released, this, &comSettingsWidget::slotOnDisconnect);
    connect(m_updateTimer, &QTimer::timeout, this, &comSettingsWidget::slotOnUpdate);

    m_updateTimer->start();
    m_deviceType = 0;
}

void comSettingsWidget::createControls() {
    auto label = [this](const char* objectName, const QString& text) {
        QLabel* l = new QLabel(text, this);
        l->setObjectName(QLatin1String(objectName));
        return l;
    };
    auto combo = [this](const char* objectName, const QStringList& items) {
        QComboBox* box = new QComboBox(this);
        box->setObjectName(QLatin1String(objectName));
        box->addItems(items);
        // The box may narrow below its longest item, so that the labels keep
        // their width in a narrow dock.
        box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        box->setMinimumContentsLength(3);
        return box;
    };
    auto spin = [this](const char* objectName, int minimum, int maximum) {
        QSpinBox* box = new QSpinBox(this);
        box->setObjectName(QLatin1String(objectName));
        box->setRange(minimum, maximum);
        return box;
    };

    // Combo-box items are the system's own values and stay untranslated.
    m_lblComMode = label("m_lblComMode", tr("Com Mode:"));
    // Indexed by comSettings::kModeRtu, kModeAscii and kModeNut.
    m_cmbComMode =
        combo("m_cmbComMode", {QStringLiteral("Modbus RTU"), QStringLiteral("Modbus ASCII"),
                               QStringLiteral("Network UPS Tools")});

    // The port list is taken once, when the page is built.
    m_lblComPort = label("m_lblComPort", tr("Com Port:"));
    m_cmbComPort = combo("m_cmbComPort", {});
    for (const PortEntry& port : listPorts()) {
        m_cmbComPort->addItem(port.name);
        m_cmbComPort->setItemData(m_cmbComPort->count() - 1, port.toolTip, Qt::ToolTipRole);
    }

    m_lblDeviceId = label("m_lblDeviceId", tr("Device Id:"));
    m_spinDeviceId = spin("m_spinDeviceId", 0, 99);
    m_lblBaudRate = label("m_lblBaudRate", tr("BaudRate:"));
    m_cmbBaudRate = combo("m_cmbBaudRate", {QStringLiteral("9600"), QStringLiteral("19200"),
                                            QStringLiteral("38400"), QStringLiteral("57600"),
                                            QStringLiteral("76800"), QStringLiteral("115200")});
    m_lblDataLen = label("m_lblDataLen", tr("DataLen:"));
    m_cmbDataLen = combo("m_cmbDataLen", {QStringLiteral("8")});
    m_lblStopBits = label("m_lblStopBits", tr("StopBits:"));
    m_cmbStopBits = combo("m_cmbStopBits", {QStringLiteral("1"), QStringLiteral("2")});
    m_lblParity = label("m_lblParity", tr("Parity:"));
    m_cmbParity = combo("m_cmbParity",
                        {QStringLiteral("None"), QStringLiteral("Even"), QStringLiteral("Odd")});
    m_lblResponseTimeout = label("m_lblResponseTimeout", tr("Resp. Timeout(ms):"));
    m_spinResponseTimeout = spin("m_spinResponseTimeout", 0, 10000);
    m_lblRetryCount = label("m_lblRetryCount", tr("Retry Count:"));
    m_spinRetryCount = spin("m_spinRetryCount", 0, 100);
    m_lblPollCycle = label("m_lblPollCycle", tr("Poll Cycle(ms):"));
    m_spinPollCycle = spin("m_spinPollCycle", 20, 10000);

    createNutControls();

    m_btnConnect = new QPushButton(tr("Connect"), this);
    m_btnConnect->setObjectName(QStringLiteral("m_btnConnect"));
    m_btnDisconnect = new QPushButton(tr("Disconnect"), this);
    m_btnDisconnect->setObjectName(QStringLiteral("m_btnDisconnect"));

    m_chkAutoConnect = new QCheckBox(tr("Auto Connect"), this);
    m_chkAutoConnect->setObjectName(QStringLiteral("m_chkAutoConnect"));
    m_chkAutoBoot = new QCheckBox(tr("Auto Boot"), this);
    m_chkAutoBoot->setObjectName(QStringLiteral("m_chkAutoBoot"));
    m_chkAutoHide = new QCheckBox(tr("Auto Hide"), this);
    m_chkAutoHide->setObjectName(QStringLiteral("m_chkAutoHide"));
}

void comSettingsWidget::createLayout() {
    // One row per parameter, label then control. The labels share the width of
    // the widest one (in whatever language), so the controls line up in one
    // column.
    // The UPS name's row holds its box and the button that lists the names.
    QWidget* upsRow = new QWidget(this);
    upsRow->setObjectName(QStringLiteral("m_nutUpsRow"));
    QHBoxLayout* upsLine = new QHBoxLayout(upsRow);
    upsLine->setContentsMargins(0, 0, 0, 0);
    upsLine->setSpacing(6);
    m_cmbNutUps->setParent(upsRow);
    m_btnNutList->setParent(upsRow);
    upsLine->addWidget(m_cmbNutUps, 1);
    upsLine->addWidget(m_btnNutList);
    const QList<QPair<QLabel*, QWidget*>> rows = {
        {m_lblComMode, m_cmbComMode},
        {m_lblComPort, m_cmbComPort},
        {m_lblDeviceId, m_spinDeviceId},
        {m_lblBaudRate, m_cmbBaudRate},
        {m_lblDataLen, m_cmbDataLen},
        {m_lblStopBits, m_cmbStopBits},
        {m_lblParity, m_cmbParity},
        {m_lblResponseTimeout, m_spinResponseTimeout},
        {m_lblRetryCount, m_spinRetryCount},
        {m_lblPollCycle, m_spinPollCycle},
        {m_lblNutHost, m_editNutHost},
        {m_lblNutPort, m_spinNutPort},
        {m_lblNutUps, upsRow},
        {m_lblNutUser, m_editNutUser},
        {m_lblNutPassword, m_editNutPassword},
        {m_lblNutPollCycle, m_spinNutPollCycle},
    };
    int labelWidth = 0;
    for (const auto& row : rows)
        labelWidth = qMax(labelWidth, row.first->sizeHint().width());

    QVBoxLayout* page = new QVBoxLayout(this);
    page->setContentsMargins(9, 9, 9, 9);
    page->setSpacing(6);
    for (const auto& row : rows) {
        row.first->setMinimumWidth(labelWidth);
        row.first->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        row.first->setBuddy(row.second == upsRow ? m_cmbNutUps : row.second);
        QHBoxLayout* line = new QHBoxLayout();
        line->setSpacing(6);
        line->addWidget(row.first);
        line->addWidget(row.second, 1);
        page->addLayout(line);
    }

    // The buttons and check boxes in two equal columns under the form.
    page->addSpacing(6);
    QHBoxLayout* buttons = new QHBoxLayout();
    buttons->setSpacing(6);
    buttons->addWidget(m_btnConnect, 1);
    buttons->addWidget(m_btnDisconnect, 1);
    page->addLayout(buttons);

    QHBoxLayout* checks = new QHBoxLayout();
    checks->setSpacing(6);
    checks->addWidget(m_chkAutoConnect, 1);
    checks->addWidget(m_chkAutoBoot, 1);
    page->addLayout(checks);

    QHBoxLayout* hide = new QHBoxLayout();
    hide->setSpacing(6);
    hide->addWidget(m_chkAutoHide, 1);
    hide->addStretch(1);
    page->addLayout(hide);

    page->addStretch(1);
}

QSize comSettingsWidget::sizeHint() const {
    return baseWidget::sizeHint().expandedTo(QSize(316, 0));
}

void comSettingsWidget::loadConfig(const QString& fileName) {
    comSettingsFile::loadConfig(*m_settings, fileName);
    comSettingsFile::loadPassword(*m_settings, comSettingsFile::passwordFile(fileName));
}

void comSettingsWidget::saveConfig(const QString& fileName) {
    comSettingsFile::saveConfig(*m_settings, fileName);
    comSettingsFile::savePassword(*m_settings, comSettingsFile::passwordFile(fileName));
}

int comSettingsWidget::portNumberFromName(const QString& name) const {
    return comSettingsFile::portNumberFromName(name);
}

int comSettingsWidget::loadProductTitle(const QString& fileName) {
    bool matched = false;
    const int result =
        comSettingsFile::loadProductTitle(fileName, m_deviceType, m_productTitle, &matched);
    if (matched) emit signalSetTitle(m_productTitle);
    return result;
}

void comSettingsWidget::selectText(QComboBox* box, const QString& text) {
    // A value the box does not list leaves its current item as it is.
    const int index = box->findText(text);
    if (index >= 0) box->setCurrentIndex(index);
}

void comSettingsWidget::slotOnLoadConfig() {
    // A copy written by the program is read before the shipped one.
    loadConfig(appPaths::readableFile(QStringLiteral("configs/config_com.xml")));
    comSettings& s = *m_settings;
    s.portNumber = static_cast<quint16>(portNumberFromName(s.comPort));

    // An index the box does not have leaves it without a current item; a
    // spin box clamps, while the record keeps its value until the next save.
    m_cmbComMode->setCurrentIndex(s.comMode);
    m_spinDeviceId->setValue(s.slaveId);
    selectText(m_cmbComPort, s.comPort);
    selectText(m_cmbBaudRate, QString::number(s.baudRate));
    selectText(m_cmbDataLen, QString::number(s.dataLen));
    selectText(m_cmbStopBits, QString::number(s.stopBits));
    m_cmbParity->setCurrentIndex(s.parity);
    m_spinPollCycle->setValue(static_cast<int>(qMin<quint32>(s.pollDelay, INT_MAX)));
    // The cycle polled is the one the page shows: a zero, unreadable or
    // missing PollDelay would otherwise poll as fast as the line allows.
    s.pollDelay = static_cast<quint32>(m_spinPollCycle->value());
    m_spinResponseTimeout->setValue(static_cast<int>(qMin<quint32>(s.responseTimeout, INT_MAX)));
    m_spinRetryCount->setValue(static_cast<int>(qMin<quint32>(s.numOfRetries, INT_MAX)));
    m_chkAutoBoot->setChecked(s.autoBoot);
    m_chkAutoConnect->setChecked(s.autoConnect);
    m_chkAutoHide->setChecked(s.autoHide);
    m_editNutHost->setText(s.nutHost);
    m_spinNutPort->setValue(s.nutPort);
    m_cmbNutUps->setEditText(s.nutUps);
    m_editNutUser->setText(s.nutUser);
    m_editNutPassword->setText(s.nutPassword);
    m_spinNutPollCycle->setValue(static_cast<int>(qMin<quint32>(s.nutPollCycle, INT_MAX)));
    s.nutPollCycle = static_cast<quint32>(m_spinNutPollCycle->value());
    showRowsOfMode();
}

void comSettingsWidget::slotOnSaveConfig() {
    comSettings& s = *m_settings;
    // A box without a current item gives -1, stored as 255.
    s.comMode = static_cast<quint8>(m_cmbComMode->currentIndex());
    s.slaveId = static_cast<quint16>(m_spinDeviceId->value());
    s.comPort = m_cmbComPort->currentText();
    s.baudRate = unsignedText(m_cmbBaudRate);
    s.dataLen = static_cast<quint8>(unsignedText(m_cmbDataLen));
    s.stopBits = static_cast<quint8>(unsignedText(m_cmbStopBits));
    s.parity = static_cast<quint8>(m_cmbParity->currentIndex());
    s.pollDelay = static_cast<quint32>(m_spinPollCycle->value());
    s.responseTimeout = static_cast<quint32>(m_spinResponseTimeout->value());
    s.numOfRetries = static_cast<quint32>(m_spinRetryCount->value());
    s.autoBoot = m_chkAutoBoot->isChecked();
    s.autoConnect = m_chkAutoConnect->isChecked();
    s.autoHide = m_chkAutoHide->isChecked();
    s.portNumber = static_cast<quint16>(portNumberFromName(s.comPort));
    s.nutHost = m_editNutHost->text().trimmed();
    s.nutPort = static_cast<quint16>(m_spinNutPort->value());
    s.nutUps = m_cmbNutUps->currentText().trimmed();
    s.nutUser = m_editNutUser->text();
    s.nutPassword = m_editNutPassword->text();
    s.nutPollCycle = static_cast<quint32>(m_spinNutPollCycle->value());

    saveConfig(m_configDir + QStringLiteral("config_com.xml"));
    if (s.autoBoot)
        enableAutoBoot();
    else
        disableAutoBoot();
    emit signalPollCycleChanged(s.pollCycle());
}

// Returns at once: the worker opens the device (after a close under way, if
// any) and reports the outcome; a failed open is logged by the adapter.
void comSettingsWidget::slotOnConnect() {
    if (m_linkState == monitorThread::Connecting || m_linkState == monitorThread::Connected ||
        m_linkState == monitorThread::Reconnecting)
        return;
    m_linkState = monitorThread::Connecting;
    updateButtons();
    emit signalConnect(*m_settings);
}

void comSettingsWidget::slotOnDeviceOpened(quint16 deviceType) {
    m_deviceType = deviceType;
    loadProductTitle(appPaths::readableFile(QStringLiteral("configs/config_product.xml")));
    emit signalPollCycleChanged(m_settings->pollCycle());
}

// Returns at once; the worker closes the device after the request under way.
void comSettingsWidget::slotOnDisconnect() {
    if (m_linkState == monitorThread::Disconnected || m_linkState == monitorThread::Disconnecting)
        return;
    m_linkState = monitorThread::Disconnecting;
    updateButtons();
    emit signalDisconnect();
}

void comSettingsWidget::slotOnLinkState(int state) {
    m_linkState = state;
    updateButtons();
}

void comSettingsWidget::slotOnAutoBoot(int checked) {
    if (checked != 0)
        enableAutoBoot();
    else
        disableAutoBoot();
}

void comSettingsWidget::enableAutoBoot() {
    const QString program = QCoreApplication::applicationFilePath();
    if (autoStart::isRegistered(program)) return;
    if (!autoStart::registerProgram(program)) {
        consolePrint::instance().printMsg(
            tr("ERR: The start at log-on could not be registered in %1")
                .arg(autoStart::entryFile()));
    }
}

void comSettingsWidget::disableAutoBoot() {
    if (!autoStart::unregisterProgram()) {
        consolePrint::instance().printMsg(
            tr("ERR: The start at log-on could not be removed from %1")
                .arg(autoStart::entryFile()));
    }
}

void comSettingsWidget::setParametersEnabled(bool enabled) {
    for (QWidget* control : std::initializer_list<QWidget*>{
             m_cmbComMode, m_cmbComPort, m_cmbBaudRate, m_cmbDataLen, m_cmbParity, m_cmbStopBits,
             m_spinDeviceId, m_spinRetryCount, m_spinResponseTimeout, m_spinPollCycle,
             m_editNutHost, m_spinNutPort, m_cmbNutUps, m_editNutUser, m_editNutPassword,
             m_spinNutPollCycle})
        control->setEnabled(enabled);
    m_btnNutList->setEnabled(enabled && !m_listing);
}

void comSettingsWidget::slotOnUpdate() {
    updateButtons();

    // The automatic connect is tried once per run, at the first tick.
    if (m_autoConnectDone == 0) {
        if (m_settings->autoConnect) m_btnConnect->click();
        m_autoConnectDone = 1;
        // From here on the worker's reports update the buttons.
        m_updateTimer->stop();
    }
}

void comSettingsWidget::updateButtons() {
    // A Connect during a close waits for it in the worker; a Disconnect
    // during an open follows it.
    const bool closing =
        m_linkState == monitorThread::Disconnected || m_linkState == monitorThread::Disconnecting;
    m_btnConnect->setEnabled(closing);
    m_btnDisconnect->setEnabled(!closing);
    setParametersEnabled(m_linkState == monitorThread::Disconnected);
}
