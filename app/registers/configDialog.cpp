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

    // Names the values the register allows, and says so when the text is
    // outside them (OK stays off then). Two lines, so that the fixed-size
    // dialog has room for the longer text.
    m_lblRange = new QLabel(m_groupBox);
    m_lblRange->setObjectName("m_lblRange");
    m_lblRange->setWordWrap(true);
    m_lblRange->setMinimumHeight(2 * m_lblRange->fontMetrics().lineSpacing());
    groupLayout->addWidget(m_lblRange);

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

// QIntValidator lets "70000" (or "300" for 1..247) stand as intermediate
// input; OK would then send its low 16 bits, a value nobody typed. OK waits
// for a number within the register's range, the check upsctl and the NUT
// driver make.
bool configDialog::valueAllowed() const {
    bool ok = false;
    const uint value = m_lineEditRegisterValue->text().toUInt(&ok);
    return ok && m_lineEditRegisterValue->hasAcceptableInput() &&
           registerRange::allows(m_range, value);
}

void configDialog::slotOnValueEdited() {
    const bool allowed = valueAllowed();
    m_buttonBox->button(QDialogButtonBox::Ok)->setEnabled(allowed);
    const QString text = m_lineEditRegisterValue->text();
    m_lblRange->setText(allowed || text.isEmpty()
                            ? tr("Allowed values: %1 to %2").arg(m_range.min).arg(m_range.max)
                            : tr("%1 is outside the allowed values %2 to %3")
                                  .arg(text)
                                  .arg(m_range.min)
                                  .arg(m_range.max));
}

void configDialog::slotOnShowDialog(DataObject* dataObj, short value) {
    Q_UNUSED(value);
    if (!dataObj) return;
    m_lblRegisterAddressValue->setText(QString::number(dataObj->address()));
    // The product table's range bounds the validator: OK stays off, and the
    // line under the value names the range, for a value the product does not
    // allow (0..65535 where the table gives none).
    m_range = dataObj->range();
    auto* validator =
        static_cast<QIntValidator*>(const_cast<QValidator*>(m_lineEditRegisterValue->validator()));
    validator->setRange(m_range.min, m_range.max);
    m_lineEditRegisterValue->setPlaceholderText(
        QStringLiteral("%1..%2").arg(m_range.min).arg(m_range.max));
    m_lineEditRegisterValue->setText(dataObj->hasValue() ? QString::number(dataObj->value())
                                                         : QString());
    emit signalDialogShown(true);
    show();
}

void configDialog::slotOnAccept() {
    if (!valueAllowed()) return;
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
