// The configuration page: the register table, the write dialog and the post-process settings.
#include "configWidget.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFileDialog>
#include <QGroupBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include "configDialog.h"
#include "nutVariablesWidget.h"
#include "consolePrint.h"
#include "dataObject.h"
#include "settingsStore.h"
#include "upsDataModel.h"

configWidget::configWidget(QWidget* parent) : baseWidget(parent) {
    setObjectName(QStringLiteral("configWidget"));
    setWindowTitle(tr("configWidget"));
    resize(400, 300);

    m_fileChooser = [](QWidget* owner, const QString& caption, const QString& dir,
                       const QString& filters) {
        return QFileDialog::getOpenFileName(owner, caption, dir, filters);
    };

    QVBoxLayout* pageLayout = new QVBoxLayout(this);

    m_tableView = new QTableView(this);
    m_tableView->setObjectName(QStringLiteral("m_tableView"));
    m_tableView->setEditTriggers(QAbstractItemView::DoubleClicked);
    m_tableView->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_tableView->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_tableView->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_tableView->setAlternatingRowColors(true);
    m_dataModel = new upsDataModel();
    m_dataModel->setHeaderLabels(
        {tr("Address"), tr("Name"), tr("Value"), tr("RW"), tr("Description")});
    m_tableView->setModel(m_dataModel);
    pageLayout->addWidget(m_tableView);
    m_nutVariables = new nutVariablesWidget(this);
    m_nutVariables->hide();
    pageLayout->addWidget(m_nutVariables);

    m_configDialog = new configDialog(this);

    // The combo is connected before the stored policy loads, so a stored
    // policy other than 0 is written back and announced once at construction.
    m_lblPolicy = new QLabel(tr("Policy:"));
    m_cbPolicy = new QComboBox();
    m_cbPolicy->setObjectName(QStringLiteral("m_cbPolicy"));
    m_cbPolicy->addItems({QStringLiteral("NULL"), QStringLiteral("DC_OK"), QStringLiteral("SW")});
    m_cbPolicy->setCurrentIndex(0);
    connect(m_cbPolicy, QOverload<int>::of(&QComboBox::currentIndexChanged), this,
            &configWidget::slotOnPolicyChanged);
    m_policy = 0;
    QHBoxLayout* policyRow = new QHBoxLayout();
    policyRow->addWidget(m_lblPolicy);
    policyRow->addWidget(m_cbPolicy);
    policyRow->addStretch();

    m_lblBatPath = new QLabel(tr("Post Process Script file:"));
    m_lineEditBatPath = new QLineEdit();
    m_lineEditBatPath->setObjectName(QStringLiteral("m_lineEditBatPath"));
    // A path typed here is taken when the field is left or Enter pressed,
    // as a file chosen with "..." is.
    m_lineEditBatPath->setPlaceholderText(tr("full path of the script, or choose it with ..."));
    m_btnOpenBatFile = new QPushButton(tr("..."));
    m_btnOpenBatFile->setObjectName(QStringLiteral("m_btnOpenBatFile"));
    QHBoxLayout* scriptRow = new QHBoxLayout();
    scriptRow->addWidget(m_lblBatPath);
    scriptRow->addWidget(m_lineEditBatPath);
    scriptRow->addWidget(m_btnOpenBatFile);

    // The low-battery levels: 0 is off, shown as such.
    auto levelBox = [](const char* name) {
        QSpinBox* box = new QSpinBox();
        box->setObjectName(QLatin1String(name));
        box->setRange(0, 100);
        box->setSuffix(QStringLiteral(" %"));
        box->setSpecialValueText(tr("Off"));
        return box;
    };
    m_spinWarnLevel = levelBox("m_spinWarnLevel");
    m_spinCriticalLevel = levelBox("m_spinCriticalLevel");
    m_chkCriticalRunsScript =
        new QCheckBox(tr("Run the post-process script at the critical level"));
    m_chkCriticalRunsScript->setObjectName(QStringLiteral("m_chkCriticalRunsScript"));

    // When the DC-loss action runs: after riding through a short outage, or
    // when the estimated time left on battery falls below a level.
    m_spinRideThrough = new QSpinBox();
    m_spinRideThrough->setObjectName(QStringLiteral("m_spinRideThrough"));
    m_spinRideThrough->setRange(0, 3600);
    m_spinRideThrough->setSuffix(tr(" s"));
    m_spinRideThrough->setSpecialValueText(tr("At once"));
    m_spinRuntimeLevel = new QSpinBox();
    m_spinRuntimeLevel->setObjectName(QStringLiteral("m_spinRuntimeLevel"));
    m_spinRuntimeLevel->setRange(0, 1440);
    m_spinRuntimeLevel->setSuffix(tr(" min"));
    m_spinRuntimeLevel->setSpecialValueText(tr("Off"));
    // The levels and the timings in one grid, so that their boxes line up.
    QGridLayout* levelGrid = new QGridLayout();
    levelGrid->addWidget(new QLabel(tr("Warning level:")), 0, 0);
    levelGrid->addWidget(m_spinWarnLevel, 0, 1);
    levelGrid->addWidget(new QLabel(tr("Critical level:")), 0, 3);
    levelGrid->addWidget(m_spinCriticalLevel, 0, 4);
    levelGrid->addWidget(new QLabel(tr("Ride-through delay:")), 1, 0);
    levelGrid->addWidget(m_spinRideThrough, 1, 1);
    levelGrid->addWidget(new QLabel(tr("Act when time left is below:")), 1, 3);
    levelGrid->addWidget(m_spinRuntimeLevel, 1, 4);
    levelGrid->setColumnMinimumWidth(2, 12);
    levelGrid->setColumnStretch(5, 1);

    m_groupBoxPostProcess = new QGroupBox(tr("Post Process"), this);
    m_groupBoxPostProcess->setObjectName(QStringLiteral("m_groupBoxPostProcess"));
    QVBoxLayout* groupLayout = new QVBoxLayout(m_groupBoxPostProcess);
    groupLayout->addLayout(policyRow);
    groupLayout->addLayout(scriptRow);
    groupLayout->addLayout(levelGrid);
    groupLayout->addWidget(m_chkCriticalRunsScript);
    pageLayout->addWidget(m_groupBoxPostProcess);

    connect(m_tableView, &QTableView::doubleClicked, this, &configWidget::slotOnRowDoubleClicked);
    connect(m_configDialog, &configDialog::signalDialogShown, this,
            &configWidget::slotOnConfigDialogShown);
    connect(m_configDialog, &configDialog::signalDataChanged, this,
            [this](qint32 regAddr, qint16 value, bool) {
                emit signalWriteRegister(static_cast<quint32>(regAddr),
                                         static_cast<quint16>(value));
            });
    connect(m_btnOpenBatFile, &QPushButton::clicked, this, &configWidget::slotOnOpenBatFile);
    connect(m_lineEditBatPath, &QLineEdit::editingFinished, this,
            &configWidget::slotOnBatPathEdited);

    slotOnLoadFromRegisterTable();
    // Connected after the stored values are shown: loading writes nothing.
    connect(m_spinWarnLevel, QOverload<int>::of(&QSpinBox::valueChanged), this,
            &configWidget::slotOnBatteryLevelsEdited);
    connect(m_spinCriticalLevel, QOverload<int>::of(&QSpinBox::valueChanged), this,
            &configWidget::slotOnBatteryLevelsEdited);
    connect(m_chkCriticalRunsScript, &QCheckBox::toggled, this,
            &configWidget::slotOnBatteryLevelsEdited);
    connect(m_spinRideThrough, QOverload<int>::of(&QSpinBox::valueChanged), this,
            &configWidget::slotOnActionTimingEdited);
    connect(m_spinRuntimeLevel, QOverload<int>::of(&QSpinBox::valueChanged), this,
            &configWidget::slotOnActionTimingEdited);

    m_timer = new QTimer(this);
    m_timer->setInterval(kRefreshIntervalMs);
    connect(m_timer, &QTimer::timeout, this, &configWidget::slotOnUpdate);
}

configWidget::~configWidget() {
    // The view hears the model's destruction and lets go of it.
    delete m_dataModel;
}

void configWidget::setNutMode(bool nut) {
    m_tableView->setVisible(!nut);
    m_nutVariables->setVisible(nut);
}

void configWidget::setFileChooser(FileChooser chooser) {
    m_fileChooser = std::move(chooser);
}

bool configWidget::isRefreshing() const {
    return m_timer->isActive();
}

void configWidget::slotOnSetEnabled(bool enabled) {
    if (enabled)
        m_timer->start();
    else
        m_timer->stop();
    emit signalExtraReading(enabled);
}

void configWidget::slotOnStatusBlock(const std::array<quint16, 50>& block) {
    m_dataModel->setBlockValues(block.data());
}

void configWidget::slotOnConfigDialogShown(bool show) {
    Q_UNUSED(show);
}

// One refresh when a value changed: the view re-reads the whole model, which
// drops its selection, so the selection is taken before and given back after.
void configWidget::slotOnUpdate() {
    if (!m_dataModel->takeChanged()) return;
    const QModelIndexList selected = m_tableView->selectionModel()->selectedIndexes();
    m_tableView->reset();
    // The values change without a model reset, so the header would keep the
    // widths of the first values read and cut longer ones short.
    m_tableView->horizontalHeader()->resizeSections(QHeaderView::ResizeToContents);
    for (const QModelIndex& index : selected) {
        const QModelIndex again = m_dataModel->index(index.row(), index.column());
        if (again.isValid())
            m_tableView->selectionModel()->select(again, QItemSelectionModel::Select);
    }
}

void configWidget::slotOnRowDoubleClicked(const QModelIndex& index) {
    DataObject* entry = m_dataModel->dataObjectAt(index.row());
    if (entry && entry->isWritable()) m_configDialog->slotOnShowDialog(entry, 0);
}

void configWidget::slotOnOpenBatFile() {
    // Any script or program can be the post-process script here, not only a
    // shell script. The dialog opens where the present script is, else in
    // the user's home (never in the program's folder).
    const QString filters = tr("shell scripts(*.sh)") + QStringLiteral(";;") + tr("all files(*)") +
                            QStringLiteral(";;") + tr("bat files(*.bat)");
    const QString folder = QFileInfo(m_batPath).absolutePath();
    const QString start = !m_batPath.isEmpty() && QDir(folder).exists() ? folder : QDir::homePath();
    const QString chosen = m_fileChooser(this, tr("Open bat file"), start, filters);
    if (chosen.isEmpty()) {
        // Cancelling clears the stored script; say so, since the status page
        // will not run anything any more.
        m_lineEditBatPath->clear();
        useBatPath(QString());
        consolePrint::instance().printMsg(
            tr("The script file dialog was cancelled: no post-process script is set any more."));
        return;
    }
    m_lineEditBatPath->setText(chosen);
    useBatPath(chosen);
}

void configWidget::slotOnBatPathEdited() {
    QString typed = m_lineEditBatPath->text().trimmed();
    if (typed == m_batPath) {
        // Editing ends at every focus change: nothing new is said, but a
        // refused text put back to the stored path loses its mark.
        if (m_batPath.isEmpty() || QFileInfo(m_batPath).isFile()) markBatPath(QString());
        return;
    }
    if (typed == QStringLiteral("~") || typed.startsWith(QStringLiteral("~/")))
        typed = QDir::homePath() + typed.mid(1);
    if (typed.isEmpty()) {
        useBatPath(QString());
        consolePrint::instance().printMsg(tr("No post-process script is set any more."));
        return;
    }
    // A relative path would depend on the folder the program was started
    // in: it is refused, and the text stays in the field to be corrected.
    if (QDir::isRelativePath(typed)) {
        const QString message =
            tr("ERR: The post-process script needs its full path (starting with /): %1").arg(typed);
        markBatPath(message);
        consolePrint::instance().printMsg(message);
        return;
    }
    m_lineEditBatPath->setText(typed);
    useBatPath(typed);
}

void configWidget::useBatPath(const QString& path) {
    // Stored whether or not the file is there yet (it is looked for again
    // each time the script is to run), but a missing one is said at once.
    m_batPath = path;
    slotOnSaveToRegisterTable();
    if (path.isEmpty() || QFileInfo(path).isFile()) {
        markBatPath(QString());
        return;
    }
    const QString message = tr("Post-process script not found: %1").arg(path);
    markBatPath(message);
    consolePrint::instance().printMsg(message);
}

void configWidget::markBatPath(const QString& problem) {
    m_lineEditBatPath->setToolTip(problem);
    m_lineEditBatPath->setStyleSheet(problem.isEmpty() ? QString()
                                                       : QStringLiteral("border:1px solid red"));
}

void configWidget::slotOnLoadFromRegisterTable() {
    m_batPath = settingsStore::batPath();
    m_lineEditBatPath->setText(m_batPath);
    markBatPath(QString());
    // Read as unsigned; a value that is no policy counts as none.
    const uint stored = static_cast<uint>(settingsStore::batExecutePolicy());
    m_policy = stored < static_cast<uint>(m_cbPolicy->count()) ? static_cast<int>(stored) : 0;
    m_cbPolicy->setCurrentIndex(m_policy);
    m_spinWarnLevel->setValue(settingsStore::warnLevel());
    m_spinCriticalLevel->setValue(settingsStore::criticalLevel());
    m_chkCriticalRunsScript->setChecked(settingsStore::criticalRunsScript());
    m_spinRideThrough->setValue(settingsStore::rideThroughS());
    m_spinRuntimeLevel->setValue(settingsStore::runtimeLevelMin());
}

void configWidget::slotOnBatteryLevelsEdited() {
    const int warn = m_spinWarnLevel->value();
    const int critical = m_spinCriticalLevel->value();
    const bool runScript = m_chkCriticalRunsScript->isChecked();
    settingsStore::setWarnLevel(warn);
    settingsStore::setCriticalLevel(critical);
    settingsStore::setCriticalRunsScript(runScript);
    emit signalBatteryLevelsChanged(warn, critical, runScript);
}

void configWidget::slotOnActionTimingEdited() {
    const int rideThrough = m_spinRideThrough->value();
    const int runtimeLevel = m_spinRuntimeLevel->value();
    settingsStore::setRideThroughS(rideThrough);
    settingsStore::setRuntimeLevelMin(runtimeLevel);
    emit signalActionTimingChanged(rideThrough, runtimeLevel);
}

void configWidget::slotOnSaveToRegisterTable() {
    settingsStore::setBatPath(m_batPath);
}

void configWidget::slotOnPolicyChanged(int policy) {
    m_policy = policy;
    settingsStore::setBatExecutePolicy(policy);
    emit signalOnPolicyChanged(policy);
}

void configWidget::slotOnGetDeviceType(QString str) {
    m_deviceType = str;
    m_dataModel->loadDeviceRegisters(str);
    emit signalExtraAddresses(m_dataModel->extraAddresses());
}
