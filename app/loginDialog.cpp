#include "loginDialog.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSettings>
#include <QSpacerItem>
#include <QVBoxLayout>

#include "appPaths.h"
#include "settingsStore.h"

namespace {

const char kSelectFile[] = "help/select.ini";
const char kNameKey[] = "/SELECTED/Name";

QFont arial(int pointSize) {
    QFont font(QStringLiteral("Arial"));
    font.setPointSize(pointSize);
    return font;
}

}  // namespace

loginDialog::loginDialog(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("loginDialog"));
    setWindowModality(Qt::ApplicationModal);
    resize(300, 200);
    setMinimumSize(200, 100);
    setMaximumSize(300, 200);
    setWindowTitle(tr("Help"));

    QVBoxLayout* verticalLayout = new QVBoxLayout(this);
    verticalLayout->setSpacing(6);
    verticalLayout->setContentsMargins(11, 11, 11, 11);

    m_label_2 = new QLabel(tr("Help"), this);
    m_label_2->setObjectName(QStringLiteral("label_2"));
    QFont titleFont = arial(16);
    titleFont.setBold(false);
    titleFont.setWeight(QFont::Normal);
    m_label_2->setFont(titleFont);
    m_label_2->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
    verticalLayout->addWidget(m_label_2);
    verticalLayout->addItem(new QSpacerItem(20, 40, QSizePolicy::Minimum, QSizePolicy::Expanding));

    QHBoxLayout* productRow = new QHBoxLayout();
    productRow->setSpacing(6);
    m_label = new QLabel(tr("Product:"), this);
    m_label->setObjectName(QStringLiteral("label"));
    m_label->setFont(arial(16));
    m_label->setFixedWidth(100);
    productRow->addWidget(m_label);
    m_comboBox = new QComboBox(this);
    m_comboBox->setObjectName(QStringLiteral("comboBox"));
    QFont boxFont = m_comboBox->font();
    boxFont.setPointSize(14);
    m_comboBox->setFont(boxFont);
    productRow->addWidget(m_comboBox);
    verticalLayout->addLayout(productRow);
    verticalLayout->addItem(new QSpacerItem(20, 40, QSizePolicy::Minimum, QSizePolicy::Expanding));

    QHBoxLayout* buttonRow = new QHBoxLayout();
    buttonRow->setSpacing(6);
    m_btnExit = new QPushButton(tr("Cancel"), this);
    m_btnExit->setObjectName(QStringLiteral("m_btnExit"));
    m_btnExit->setFont(arial(10));
    m_btnExit->setAutoDefault(false);
    buttonRow->addWidget(m_btnExit);
    buttonRow->addItem(new QSpacerItem(40, 20, QSizePolicy::Expanding, QSizePolicy::Minimum));
    m_btnAccept = new QPushButton(tr("Chose"), this);
    m_btnAccept->setObjectName(QStringLiteral("m_btnAccept"));
    m_btnAccept->setFont(arial(10));
    buttonRow->addWidget(m_btnAccept);
    verticalLayout->addLayout(buttonRow);

    m_settings =
        new QSettings(appPaths::dataFile(QStringLiteral("help/help.ini")), QSettings::IniFormat);
    m_comboBox->addItems(m_settings->childGroups());

    const QSettings select(appPaths::readableFile(QLatin1String(kSelectFile)),
                           QSettings::IniFormat);
    m_comboBox->setCurrentText(select.value(QLatin1String(kNameKey)).toString());

    connect(m_btnExit, &QPushButton::clicked, this, &loginDialog::slotOnExit);
    connect(m_btnAccept, &QPushButton::clicked, this, &loginDialog::slotOnAccept);
}

loginDialog::~loginDialog() {
    releaseSettings();
}

void loginDialog::releaseSettings() {
    delete m_settings;
    m_settings = nullptr;
}

void loginDialog::slotOnAccept() {
    settingsStore::setFileValue(appPaths::settingsFile(QLatin1String(kSelectFile)),
                                QLatin1String(kNameKey), m_comboBox->currentText());
    releaseSettings();
    accept();
}

void loginDialog::slotOnExit() {
    releaseSettings();
    close();
}
