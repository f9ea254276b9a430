#include "configDialog.h"

#include "dataObject.h"

#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

configDialog::configDialog(QWidget* parent) : QDialog(parent) {
    setupUi();
    setWindowTitle(tr("Set Register"));
    setWindowFlags(windowFlags() | Qt::WindowStaysOnTopHint);
    setWindowModality(Qt::ApplicationModal);
    setWindowIcon(QIcon(":/mainWindow/images/UPS/config.png"));
}

void configDialog::setupUi() {
    setObjectName("configDialog");

    auto* dialogLayout = new QVBoxLayout(this);
    dialogLayout->setSpacing(6);
    dialogLayout->setContentsMargins(11, 11, 11, 11);

    m_groupBox = new QGroupBox(this);
    m_groupBox->setObjectName("groupBox");
    auto* groupLayout = new QVBoxLayout(m_groupBox);
    groupLayout->setSpacing(6);
    groupLayout->setContentsMargins(11, 11, 11, 11);

    auto* addressRow = new QHBoxLayout;
    m_lblRegisterAddress = new QLabel(m_groupBox);
    m_lblRegisterAddress->setObjectName("label_3");
    m_lblRegisterAddress->setFixedWidth(110);
    m_lblRegisterAddress->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_lblRegisterAddressValue = new QLabel(m_groupBox);
    m_lblRegisterAddressValue->setObjectName("m_lblRegisterAddressValue");
    addressRow->addWidget(m_lblRegisterAddress);
    addressRow->addWidget(m_lblRegisterAddressValue);
    addressRow->addStretch();
    groupLayout->addLayout(addressRow);

    auto* valueRow = new QHBoxLayout;
    m_lblValue = new QLabel(m_groupBox);
    m_lblValue->setObjectName("label_4");
    m_lblValue->setFixedWidth(110);
    m_lblValue->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_lineEditRegisterValue = new QLineEdit(m_groupBox);
    m_lineEditRegisterValue->setObjectName("m_lineEditRegisterValue");
    m_lineEditRegisterValue->setMinimumWidth(70);
    // Only plain decimal 0..65535: no group separators, whatever the locale,
    // so that the text the validator accepts is the text OK parses.
    auto* validator = new QIntValidator(0, 65535, m_lineEditRegisterValue);
    QLocale plain = QLocale::c();
    plain.setNumberOptions(QLocale::OmitGroupSeparator | QLocale::RejectGroupSeparator);
    validator->setLocale(plain);
    m_lineEditRegisterValue->setValidator(validator);
    valueRow->addWidget(m_lblValue);
    valueRow->addWidget(m_lineEditRegisterValue);
    valueRow->addStretch();
    groupLayout->addLayout(valueRow);

    dialogLayout->addWidget(m_groupBox);

    auto* buttonRow = new QHBoxLayout;
    m_buttonBox = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    m_buttonBox->setObjectName("m_buttonBox");
    buttonRow->addStretch();
    buttonRow->addWidget(m_buttonBox);
    dialogLayout->addLayout(buttonRow);

    retranslateUi();
    fitToTexts();

    connect(m_buttonBox, &QDialogButtonBox::rejected, this, &configDialog::slotOnExit);
    connect(m_buttonBox, &QDialogButtonBox::accepted, this, &configDialog::slotOnAccept);
    connect(m_lineEditRegisterValue, &QLineEdit::textChanged, this,
            &configDialog::slotOnValueEdited);
    slotOnValueEdited();
}

void configDialog::retranslateUi() {
    setWindowTitle(tr("configDialog"));
    m_groupBox->setTitle(tr("Write Register"));
    m_lblRegisterAddress->setText(tr("Register Address:"));
    m_lblRegisterAddressValue->setText(tr("0"));
    m_lblValue->setText(tr("Value:"));
}

// The dialog is 240 x 150 with 110-pixel captions. A larger desktop font or a
// longer translation would clip "Register Address:", so the captions widen
// together (staying aligned) and the dialog grows just enough; the size stays
// fixed all the same.
void configDialog::fitToTexts() {
    const int captionWidth =
        qMax(110, qMax(m_lblRegisterAddress->sizeHint().width(), m_lblValue->sizeHint().width()));
    m_lblRegisterAddress->setFixedWidth(captionWidth);
    m_lblValue->setFixedWidth(captionWidth);
    setFixedSize(QSize(240, 150).expandedTo(layout()->minimumSize()));
}

// QIntValidator lets "70000" stand as intermediate input; OK would then send
// its low 16 bits, a value nobody typed. OK waits for acceptable input.
void configDialog::slotOnValueEdited() {
    m_buttonBox->button(QDialogButtonBox::Ok)
        ->setEnabled(m_lineEditRegisterValue->hasAcceptableInput());
}

void configDialog::slotOnShowDialog(DataObject* dataObj, short value) {
    Q_UNUSED(value);
    if (!dataObj) return;
    m_lblRegisterAddressValue->setText(QString::number(dataObj->address()));
    m_lineEditRegisterValue->setText(dataObj->hasValue() ? QString::number(dataObj->value())
                                                         : QString());
    emit signalDialogShown(true);
    show();
}

void configDialog::slotOnAccept() {
    if (!m_lineEditRegisterValue->hasAcceptableInput()) return;
    bool ok = false;
    const uint value = m_lineEditRegisterValue->text().toUInt(&ok);
    const uint regAddr = m_lblRegisterAddressValue->text().toUInt();
    emit signalDataChanged(static_cast<qint32>(regAddr), static_cast<qint16>(ok ? value : 0), true);
    emit signalDialogShown(false);
    hide();
}

void configDialog::slotOnLinkConnected(bool connected) {
    if (!connected && isVisible()) slotOnExit();
}

void configDialog::slotOnExit() {
    emit signalDialogShown(false);
    hide();
}

void configDialog::slotOnButtonBoxClicked(QAbstractButton* button) {
    Q_UNUSED(button);
}
