// The small dialog in which the user types a new value for one writable
// register. It talks to no device: OK announces the register and the value.
#pragma once

#include <QDialog>

#include "registerRange.h"

class QAbstractButton;
class QDialogButtonBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class DataObject;

class configDialog : public QDialog {
    Q_OBJECT
public:
    explicit configDialog(QWidget* parent = nullptr);

signals:
    // The value travels as its low 16 bits; modify is always true.
    void signalDataChanged(qint32 regAddr, qint16 value, bool modify);
    // true when the dialog is shown, false when OK or Cancel closes it.
    void signalDialogShown(bool show);

public slots:
    void slotOnExit();
    void slotOnAccept();
    void slotOnButtonBoxClicked(QAbstractButton* button);
    void slotOnShowDialog(DataObject* dataObj, short value);
    // A write is sent only while connected: an open dialog closes when the
    // link is not, so that nothing typed waits for whatever module comes next.
    void slotOnLinkConnected(bool connected);

private slots:
    void slotOnValueEdited();

private:
    void setupUi();
    void retranslateUi();
    void fitToTexts();
    bool valueAllowed() const;

    QGroupBox* m_groupBox = nullptr;
    QLabel* m_lblRegisterAddress = nullptr;
    QLabel* m_lblRegisterAddressValue = nullptr;
    QLabel* m_lblValue = nullptr;
    QLineEdit* m_lineEditRegisterValue = nullptr;
    QDialogButtonBox* m_buttonBox = nullptr;
    QLabel* m_lblRange = nullptr;
    registerRange::Range m_range;
};
