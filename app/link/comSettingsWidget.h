// The communication settings page: the link parameters (a serial line, or
// upsd's host, port and UPS name for a UPS watched through Network UPS Tools,
// whose rows replace the serial ones while that kind is chosen) and start-up
// preferences, kept in step with the one comSettings record and
// config_com.xml, and the Connect / Disconnect buttons, which ask the device
// worker (through signalConnect / signalDisconnect) to open and close the
// device and follow the link state it reports.
#pragma once

#include <QString>
#include <QStringList>

#include "baseWidget.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTimer;
class comSettings;

class comSettingsWidget : public baseWidget {
    Q_OBJECT
public:
    explicit comSettingsWidget(QWidget* parent = nullptr);

    // The page asks for its designed width, so that a dock opens wide enough
    // for every item; it can still be made as narrow as its minimum width.
    QSize sizeHint() const override;

    void loadConfig(const QString& fileName) override;
    void saveConfig(const QString& fileName) override;
    // "COM3" -> 3; -1 when no number can be derived from the name.
    int portNumberFromName(const QString& name) const;
    // Looks the connected device type up in config_product.xml; on a match
    // stores the title and emits signalSetTitle. 0, or -1 / -2 when the file
    // cannot be opened / parsed.
    int loadProductTitle(const QString& fileName);

    // Registers the running program to start when the user logs on, unless it
    // already is with its present path; disableAutoBoot removes the registration.
    void enableAutoBoot();
    void disableAutoBoot();

    // The program's one settings record (owned by the page, never replaced).
    comSettings* settings() const { return m_settings; }
    quint16 deviceType() const { return m_deviceType; }
    QString productTitle() const { return m_productTitle; }

signals:
    void signalPollCycleChanged(uint value);
    void signalConnect(comSettings& settings);
    void signalDisconnect();
    void signalSetTitle(QString str);

public slots:
    // Asks upsd for its UPS names in the background (LIST UPS); the names
    // fill the UPS box when they come, and a refusal is logged.
    void slotOnListUps();
    void slotOnLoadConfig();
    void slotOnSaveConfig();
    void slotOnConnect();
    void slotOnDisconnect();
    void slotOnAutoBoot(int checked);
    // The device worker opened the device: the product title follows.
    void slotOnDeviceOpened(quint16 deviceType);
    // The link state (a monitorThread::State) as the worker reports it.
    void slotOnLinkState(int state);

private slots:
    void slotOnUpdate();
    void slotOnComModeChanged();
    void slotOnUpsListed(const QStringList& names, const QString& problem);

private:
    void createControls();
    void createLayout();
    void createNutControls();
    // Shows the rows of the chosen kind of link and hides the others'.
    void showRowsOfMode();
    void setParametersEnabled(bool enabled);
    void updateButtons();
    static void selectText(QComboBox* box, const QString& text);

    QString m_configDir;  // folder of config_com.xml, ending in "/"
    comSettings* m_settings;
    QTimer* m_updateTimer = nullptr;
    quint16 m_deviceType = 0;
    QString m_productTitle;
    int m_autoConnectDone = 0;
    int m_linkState = 0;  // monitorThread::Disconnected

    QLabel* m_lblComMode = nullptr;
    QComboBox* m_cmbComMode = nullptr;
    QLabel* m_lblComPort = nullptr;
    QComboBox* m_cmbComPort = nullptr;
    QLabel* m_lblDeviceId = nullptr;
    QSpinBox* m_spinDeviceId = nullptr;
    QLabel* m_lblBaudRate = nullptr;
    QComboBox* m_cmbBaudRate = nullptr;
    QLabel* m_lblDataLen = nullptr;
    QComboBox* m_cmbDataLen = nullptr;
    QLabel* m_lblStopBits = nullptr;
    QComboBox* m_cmbStopBits = nullptr;
    QLabel* m_lblParity = nullptr;
    QComboBox* m_cmbParity = nullptr;
    QLabel* m_lblResponseTimeout = nullptr;
    QSpinBox* m_spinResponseTimeout = nullptr;
    QLabel* m_lblRetryCount = nullptr;
    QSpinBox* m_spinRetryCount = nullptr;
    QLabel* m_lblPollCycle = nullptr;
    QSpinBox* m_spinPollCycle = nullptr;
    QLabel* m_lblNutHost = nullptr;
    QLineEdit* m_editNutHost = nullptr;
    QLabel* m_lblNutPort = nullptr;
    QSpinBox* m_spinNutPort = nullptr;
    QLabel* m_lblNutUps = nullptr;
    QComboBox* m_cmbNutUps = nullptr;
    QPushButton* m_btnNutList = nullptr;
    QLabel* m_lblNutUser = nullptr;
    QLineEdit* m_editNutUser = nullptr;
    QLabel* m_lblNutPassword = nullptr;
    QLineEdit* m_editNutPassword = nullptr;
    QLabel* m_lblNutPollCycle = nullptr;
    QSpinBox* m_spinNutPollCycle = nullptr;
    bool m_listing = false;  // a LIST UPS under way
    QPushButton* m_btnConnect = nullptr;
    QPushButton* m_btnDisconnect = nullptr;
    QCheckBox* m_chkAutoConnect = nullptr;
    QCheckBox* m_chkAutoBoot = nullptr;
    QCheckBox* m_chkAutoHide = nullptr;
};
