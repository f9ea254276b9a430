// The Config page's table for a UPS watched through Network UPS Tools: the
// writable variables upsd lists, with their values and what they accept, and
// a write of one of them (a double click) handed to the device worker. A value
// outside what upsd says it accepts is refused here and sent nowhere; upsd's
// own refusal (a login or a value) comes back as the message under the table.
#pragma once

#include <QString>
#include <QWidget>
#include <functional>
#include <vector>

#include "monitorThread.h"

class QLabel;
class QTableWidget;

class nutVariablesWidget : public QWidget {
    Q_OBJECT
public:
    // Asks the user for a new value: (parent, variable, choices or empty);
    // false when cancelled.
    using ValueAsker = std::function<bool(QWidget*, const monitorThread::nutVariable&, QString*)>;

    explicit nutVariablesWidget(QWidget* parent = nullptr);

    // Replaces the input dialog (tests).
    void setValueAsker(ValueAsker asker);
    // Checks the value against what upsd said of the variable and asks the
    // worker to write it; false (with the reason under the table) when refused.
    bool writeVariable(const QString& name, const QString& value);
    QString message() const;
    int rowCount() const;

signals:
    void signalWriteVariable(const QString& name, const QString& value);

public slots:
    void slotOnVariables(const std::vector<monitorThread::nutVariable>& variables);
    void slotOnWritten(const QString& name, const QString& value, const QString& problem);

private slots:
    void slotOnCellDoubleClicked(int row, int column);

private:
    static QString allowedText(const monitorThread::nutVariable& v);
    // Empty when the value is one the variable accepts.
    static QString refusal(const monitorThread::nutVariable& v, const QString& value);
    void showMessage(const QString& text, bool problem);

    QTableWidget* m_table;
    QLabel* m_lblMessage;
    std::vector<monitorThread::nutVariable> m_variables;
    ValueAsker m_asker;
};
