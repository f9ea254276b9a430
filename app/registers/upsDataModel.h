// The register table behind the configuration page: one DataObject per
// configurable register of the connected product, loaded from the product's
// iconfigs/<product>/config_registers.xml, refreshed from the module and
// written on request, one turn at a time.
//
// Values change without dataChanged(): the page resets its view on every
// refresh turn and re-reads every cell.
#pragma once

#include <QAbstractTableModel>
#include <QList>
#include <QString>
#include <QStringList>

class DataObject;

class upsDataModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { ColumnAddress = 0, ColumnName, ColumnValue, ColumnRW, ColumnDescription };
    static const int kColumnCount = 5;
    // The block a refresh turn reads: registers 40000..40049.
    static const int kBlockStart = 40000;
    static const int kBlockSize = 50;

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
    // -2 when it is not well-formed XML or is nested too deeply (the list stays
    // as it was).
    int loadRegisterFile();
    QString registerFileName() const { return m_registerFileName; }

signals:
    void signalUpdateCount(int count);

public slots:
    // One turn: the pending write if there is one (and no read), otherwise a
    // read of the block. Nothing while no device is open.
    void updateData();
    // Keeps one register write for the next turn in which a device is open; a
    // later request replaces an earlier one.
    void slotOnModifyRegister(qint32 regAddr, qint16 value, bool modify);

private:
    QList<DataObject*> m_dataList;
    QStringList m_horizontalHeader;
    QStringList m_verticalHeader;
    QString m_appDirPath;
    QString m_registerFileName;

    bool m_modify = false;
    qint32 m_modifyRegAddr = 0;
    qint16 m_modifyValue = 0;
};
