// The register table behind the configuration page: one DataObject per
// configurable register of the connected product, loaded from the product's
// iconfigs/<product>/config_registers.xml. It talks to no device: the device
// worker's status blocks and extra reads are handed in.
//
// Values change without dataChanged(): the page resets its view when
// takeChanged() says a value changed, and re-reads every cell.
#pragma once

#include <QAbstractTableModel>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVector>

#include "registerTable.h"

class DataObject;

class upsDataModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { ColumnAddress = 0, ColumnName, ColumnValue, ColumnRW, ColumnDescription };
    static const int kColumnCount = 5;
    // The status block: registers 40000..40049.
    static const int kBlockStart = 40000;
    static const int kBlockSize = 50;
    // A larger register table is not loaded: parsing it would hold up the window.
    static const qint64 kMaxRegisterFileBytes = registerTable::kMaxFileBytes;

    explicit upsDataModel(QObject* parent = nullptr);
    ~upsDataModel() override;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    void setHeaderLabels(const QStringList& labels);
    // The entry at row, or null for a row outside the list.
    DataObject* dataObjectAt(int row) const;

    // Loads the register table of a product. A missing or malformed file keeps
    // the current list; the result is always 0.
    int loadDeviceRegisters(const QString& deviceType);
    // Loads the current register table file: 0, -1 when it cannot be opened,
    // -2 when it is not well-formed XML or is nested too deeply, -3 (logged)
    // when it is larger than kMaxRegisterFileBytes (the list stays as it was).
    int loadRegisterFile();
    QString registerFileName() const { return m_registerFileName; }

    // The addresses of the table outside the status block, for the worker.
    QVector<quint32> extraAddresses() const;
    // The values of a status block (kBlockSize words from kBlockStart).
    void setBlockValues(const quint16* words);
    // One register's value; known false empties its cell (a refused register).
    void setRegisterValue(quint32 address, quint16 value, bool known);
    // Whether a value changed since the last call.
    bool takeChanged();

signals:
    void signalUpdateCount(int count);

private:
    QList<DataObject*> m_dataList;
    QStringList m_horizontalHeader;
    QStringList m_verticalHeader;
    QString m_appDirPath;
    QString m_registerFileName;

    bool m_changed = false;
};
