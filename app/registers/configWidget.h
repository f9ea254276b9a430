// The configuration page: the connected product's configurable registers (or,
// for a UPS watched through Network UPS Tools, its writable variables) in a
// table redrawn at most every 100 ms while the page is enabled, a dialog to
// write one of them, and the post-process settings (the policy that decides
// when the script runs, the script file, the battery levels, the ride-through
// delay and the runtime level) kept in the user's settings store. It talks to
// no device: the values come from the device worker's status blocks and extra
// reads, and writes and the extra addresses go to it through the page's signals.
#pragma once

#include <QModelIndex>
#include <QString>
#include <QVector>
#include <array>
#include <functional>

#include "baseWidget.h"

class QComboBox;
class QGroupBox;
class QCheckBox;
class QLabel;
class QSpinBox;
class QLineEdit;
class QPushButton;
class QTableView;
class QTimer;
class configDialog;
class nutVariablesWidget;
class upsDataModel;

class configWidget : public baseWidget {
    Q_OBJECT
public:
    // Asks the user for a file: (parent, caption, start directory, filters);
    // an empty result means the dialog was cancelled.
    using FileChooser =
        std::function<QString(QWidget*, const QString&, const QString&, const QString&)>;

    static const int kRefreshIntervalMs = 100;

    explicit configWidget(QWidget* parent = nullptr);
    ~configWidget() override;

    // Replaces the platform's file dialog (tests).
    void setFileChooser(FileChooser chooser);

    upsDataModel* dataModel() const { return m_dataModel; }
    configDialog* dialog() const { return m_configDialog; }
    nutVariablesWidget* nutVariables() const { return m_nutVariables; }
    // A UPS watched through Network UPS Tools has variables, not registers:
    // its table takes the register table's place.
    void setNutMode(bool nut);
    bool isRefreshing() const;

signals:
    void signalOnPolicyChanged(int policy);
    // The low-battery levels (percent, 0 = off) or the critical action changed.
    void signalBatteryLevelsChanged(int warnLevel, int criticalLevel, bool criticalRunsScript);
    // The ride-through delay (s, 0 = at once) or the runtime level (min, 0 = off) changed.
    void signalActionTimingChanged(int rideThroughS, int runtimeLevelMin);
    // A write asked for in the write dialog.
    void signalWriteRegister(quint32 address, quint16 value);
    // The table's registers outside the status block, after each load.
    void signalExtraAddresses(const QVector<quint32>& addresses);
    // The page in front or not: the extra registers are read only while it is.
    void signalExtraReading(bool on);

public slots:
    void slotOnSetEnabled(bool enabled) override;
    void slotOnConfigDialogShown(bool show);
    void slotOnUpdate();
    void slotOnRowDoubleClicked(const QModelIndex& index);
    void slotOnOpenBatFile();
    // The path typed into the script field, taken when editing ends.
    void slotOnBatPathEdited();
    void slotOnLoadFromRegisterTable();
    void slotOnSaveToRegisterTable();
    void slotOnPolicyChanged(int policy);
    void slotOnBatteryLevelsEdited();
    void slotOnActionTimingEdited();
    void slotOnGetDeviceType(QString str);
    // A status block read by the worker (kBlockSize words).
    void slotOnStatusBlock(const std::array<quint16, 50>& block);

private:
    // Stores the script path (chosen or typed) and says when no file is there.
    void useBatPath(const QString& path);
    // Marks the script field with what is wrong with it; empty clears the mark.
    void markBatPath(const QString& problem);

    QTableView* m_tableView;
    nutVariablesWidget* m_nutVariables;
    upsDataModel* m_dataModel;  // no parent: the page deletes it
    configDialog* m_configDialog;
    QGroupBox* m_groupBoxPostProcess;
    QLabel* m_lblPolicy;
    QComboBox* m_cbPolicy;
    QLabel* m_lblBatPath;
    QLineEdit* m_lineEditBatPath;
    QPushButton* m_btnOpenBatFile;
    QSpinBox* m_spinWarnLevel;
    QSpinBox* m_spinCriticalLevel;
    QCheckBox* m_chkCriticalRunsScript;
    QSpinBox* m_spinRideThrough;
    QSpinBox* m_spinRuntimeLevel;
    QTimer* m_timer = nullptr;

    int m_policy = 0;
    QString m_batPath;
    QString m_deviceType;
    FileChooser m_fileChooser;
};
