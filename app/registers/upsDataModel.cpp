#include "upsDataModel.h"

#include <QColor>
#include <QDir>

#include "appPaths.h"
#include "consolePrint.h"
#include "dataObject.h"
#include "registerTable.h"

upsDataModel::upsDataModel(QObject* parent) : QAbstractTableModel(parent) {}

upsDataModel::~upsDataModel() {
    qDeleteAll(m_dataList);
}

int upsDataModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_dataList.size();
}

int upsDataModel::columnCount(const QModelIndex& parent) const {
    Q_UNUSED(parent);
    return kColumnCount;
}

QVariant upsDataModel::data(const QModelIndex& index, int role) const {
    const DataObject* entry = index.isValid() ? dataObjectAt(index.row()) : nullptr;
    if (!entry) return QVariant();
    switch (role) {
        case Qt::DisplayRole:
            switch (index.column()) {
                case ColumnAddress:
                    return entry->address();
                case ColumnName:
                    return entry->name();
                case ColumnValue:
                    return entry->hasValue() ? QString::number(entry->value()) : QString();
                case ColumnRW:
                    return DataObject::accessText(entry->access());
                case ColumnDescription:
                    return entry->description();
                default:
                    return QVariant();
            }
        case Qt::ToolTipRole:
            // A double-click on a row that cannot be written opens nothing:
            // the tool tip says why.
            return entry->isWritable() ? QVariant() : QVariant(tr("read-only"));
        case Qt::TextAlignmentRole:
            return int(Qt::AlignLeft | Qt::AlignVCenter);
        case Qt::BackgroundRole:
            return QColor(Qt::transparent);
        case Qt::ForegroundRole:
            return QColor(Qt::black);
        default:
            return QVariant();
    }
}

// Only the cell changes: no device write follows, and the next refresh turn
// overwrites it for registers of the status block.
bool upsDataModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    DataObject* entry = index.isValid() ? dataObjectAt(index.row()) : nullptr;
    if (!entry || role != Qt::EditRole || index.column() != ColumnValue) return false;
    quint16 word = 0;
    if (value.userType() == QMetaType::Short || value.userType() == QMetaType::UShort) {
        word = static_cast<quint16>(value.toInt());
    } else {
        // Typed text arrives as a string: both the signed and the unsigned
        // reading of 16 bits are accepted, anything else gives 0.
        bool ok = false;
        const int number = value.toInt(&ok);
        if (ok && number >= -32768 && number <= 65535) word = static_cast<quint16>(number);
    }
    entry->setValue(word);
    return true;
}

QVariant upsDataModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole) return QVariant();
    const QStringList& texts =
        orientation == Qt::Horizontal ? m_horizontalHeader : m_verticalHeader;
    if (section < 0 || section >= texts.size()) return QVariant();
    return texts.at(section);
}

Qt::ItemFlags upsDataModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) return QAbstractTableModel::flags(index);
    Qt::ItemFlags result = Qt::ItemIsSelectable | Qt::ItemIsEnabled;
    if (index.column() == ColumnValue) {
        const DataObject* entry = dataObjectAt(index.row());
        if (entry && entry->isWritable()) result |= Qt::ItemIsEditable;
    }
    return result;
}

void upsDataModel::setHeaderLabels(const QStringList& labels) {
    m_horizontalHeader = labels;
}

DataObject* upsDataModel::dataObjectAt(int row) const {
    if (row < 0 || row >= m_dataList.size()) return nullptr;
    return m_dataList.at(row);
}

int upsDataModel::loadDeviceRegisters(const QString& deviceType) {
    m_appDirPath = appPaths::dataDir();
    // The folder of the register tables is made when missing, the product's
    // own folder is not: its table is data shipped with the program.
    const QString folder = appPaths::settingsFile(QStringLiteral("iconfigs"));
    appPaths::makeFolder(folder);
    m_registerFileName = appPaths::readableFile(QStringLiteral("iconfigs/") + deviceType +
                                                QStringLiteral("/config_registers.xml"));
    loadRegisterFile();
    return 0;
}

int upsDataModel::loadRegisterFile() {
    QVector<registerTable::Entry> table;
    const int result = registerTable::read(m_registerFileName, table);
    if (result == -3) {
        consolePrint::instance().printMsg(
            tr("ERR: The register table %1 is larger than %2 KB and is not loaded")
                .arg(QDir::toNativeSeparators(m_registerFileName))
                .arg(kMaxRegisterFileBytes / 1024));
    }
    if (result != 0) return result;

    QList<DataObject*> entries;
    for (const registerTable::Entry& row : qAsConst(table)) {
        DataObject* entry = new DataObject(this);
        entry->setAddress(row.address);
        entry->setName(row.name);
        entry->setAccess(row.access);
        entry->setDescription(row.description);
        entry->setRange(row.range);
        entries.append(entry);
    }

    // A view holds indexes (its selection, an open editor) into the old rows,
    // which are deleted here: it must hear that the list was replaced.
    beginResetModel();
    qDeleteAll(m_dataList);
    m_dataList = entries;
    endResetModel();
    return 0;
}

QVector<quint32> upsDataModel::extraAddresses() const {
    QVector<quint32> addresses;
    for (const DataObject* entry : m_dataList) {
        const qint32 offset = entry->address() - kBlockStart;
        if (offset < 0 || offset >= kBlockSize)
            addresses.append(static_cast<quint32>(entry->address()));
    }
    return addresses;
}

void upsDataModel::setBlockValues(const quint16* words) {
    for (DataObject* entry : qAsConst(m_dataList)) {
        const qint32 offset = entry->address() - kBlockStart;
        if (offset < 0 || offset >= kBlockSize) continue;
        if (entry->hasValue() && entry->value() == words[offset]) continue;
        entry->setValue(words[offset]);
        m_changed = true;
    }
}

void upsDataModel::setRegisterValue(quint32 address, quint16 value, bool known) {
    for (DataObject* entry : qAsConst(m_dataList)) {
        if (static_cast<quint32>(entry->address()) != address) continue;
        if (known == entry->hasValue() && (!known || entry->value() == value)) continue;
        if (known)
            entry->setValue(value);
        else
            entry->clearValue();
        m_changed = true;
    }
}

bool upsDataModel::takeChanged() {
    const bool changed = m_changed;
    m_changed = false;
    return changed;
}
