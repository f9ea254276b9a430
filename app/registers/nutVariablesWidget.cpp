// The Config page's table of a UPS's writable variables through upsd.
#include "nutVariablesWidget.h"

#include <QHeaderView>
#include <QInputDialog>
#include <QLineEdit>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

#include "consolePrint.h"

nutVariablesWidget::nutVariablesWidget(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("nutVariablesWidget"));
    QVBoxLayout* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_table = new QTableWidget(0, 3, this);
    m_table->setObjectName(QStringLiteral("m_nutTable"));
    m_table->setHorizontalHeaderLabels({tr("Variable"), tr("Value"), tr("Accepts")});
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setAlternatingRowColors(true);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_table->horizontalHeader()->setStretchLastSection(true);
    layout->addWidget(m_table);
    m_lblMessage = new QLabel(this);
    m_lblMessage->setObjectName(QStringLiteral("m_lblNutMessage"));
    m_lblMessage->setWordWrap(true);
    layout->addWidget(m_lblMessage);
    connect(m_table, &QTableWidget::cellDoubleClicked, this,
            &nutVariablesWidget::slotOnCellDoubleClicked);

    m_asker = [](QWidget* owner, const monitorThread::nutVariable& v, QString* value) {
        bool ok = false;
        const QString label = tr("New value of %1:").arg(v.name);
        if (!v.choices.isEmpty()) {
            const int current = qMax(0, v.choices.indexOf(v.value));
            *value = QInputDialog::getItem(owner, tr("Write a variable"), label, v.choices, current,
                                           false, &ok);
        } else {
            *value = QInputDialog::getText(owner, tr("Write a variable"), label, QLineEdit::Normal,
                                           v.value, &ok);
        }
        return ok;
    };
}

void nutVariablesWidget::setValueAsker(ValueAsker asker) {
    m_asker = std::move(asker);
}

QString nutVariablesWidget::message() const {
    return m_lblMessage->text();
}

int nutVariablesWidget::rowCount() const {
    return m_table->rowCount();
}

QString nutVariablesWidget::allowedText(const monitorThread::nutVariable& v) {
    if (!v.choices.isEmpty()) return v.choices.join(QStringLiteral(", "));
    if (!v.ranges.isEmpty()) {
        QStringList parts;
        for (const auto& r : v.ranges)
            parts << QStringLiteral("%1..%2").arg(r.first).arg(r.second);
        return parts.join(QStringLiteral(", "));
    }
    if (v.isString && v.maxLength > 0) return tr("text of up to %1 characters").arg(v.maxLength);
    return QString();
}

QString nutVariablesWidget::refusal(const monitorThread::nutVariable& v, const QString& value) {
    if (!v.choices.isEmpty() && !v.choices.contains(value))
        return tr("%1 is not one of the values %2 accepts").arg(value, v.name);
    if (!v.ranges.isEmpty()) {
        bool ok = false;
        const long n = value.toLong(&ok);
        bool inside = false;
        for (const auto& r : v.ranges)
            inside = inside || (ok && n >= r.first && n <= r.second);
        if (!inside) return tr("%1 is outside the ranges %2 accepts").arg(value, v.name);
    }
    if (v.isString && v.maxLength > 0 && value.toUtf8().size() > v.maxLength)
        return tr("%1 takes at most %2 characters").arg(v.name).arg(v.maxLength);
    // A line break would end upsd's request early.
    if (value.contains(QLatin1Char('\n')) || value.contains(QLatin1Char('\r')))
        return tr("a value holds no line break");
    return QString();
}

void nutVariablesWidget::showMessage(const QString& text, bool problem) {
    m_lblMessage->setText(text);
    m_lblMessage->setStyleSheet(problem ? QStringLiteral("color: #c00000;") : QString());
}

bool nutVariablesWidget::writeVariable(const QString& name, const QString& value) {
    for (const monitorThread::nutVariable& v : m_variables) {
        if (v.name != name) continue;
        const QString why = refusal(v, value);
        if (!why.isEmpty()) {
            const QString text = tr("%1 not written: %2").arg(name, why);
            showMessage(text, true);
            consolePrint::instance().printMsg(text);
            return false;
        }
        showMessage(tr("Writing %1 = %2 ...").arg(name, value), false);
        emit signalWriteVariable(name, value);
        return true;
    }
    showMessage(tr("%1 not written: upsd does not list it as writable").arg(name), true);
    return false;
}

void nutVariablesWidget::slotOnCellDoubleClicked(int row, int column) {
    Q_UNUSED(column);
    if (row < 0 || row >= int(m_variables.size())) return;
    const monitorThread::nutVariable v = m_variables[size_t(row)];
    QString value;
    if (m_asker(this, v, &value)) writeVariable(v.name, value);
}

void nutVariablesWidget::slotOnVariables(const std::vector<monitorThread::nutVariable>& variables) {
    m_variables = variables;
    m_table->setRowCount(int(variables.size()));
    for (int row = 0; row < int(variables.size()); ++row) {
        const monitorThread::nutVariable& v = variables[size_t(row)];
        const QString texts[] = {v.name, v.value, allowedText(v)};
        for (int column = 0; column < 3; ++column) {
            QTableWidgetItem* item = m_table->item(row, column);
            if (!item) {
                item = new QTableWidgetItem();
                m_table->setItem(row, column, item);
            }
            if (item->text() != texts[column]) item->setText(texts[column]);
        }
    }
}

void nutVariablesWidget::slotOnWritten(const QString& name, const QString& value,
                                       const QString& problem) {
    if (problem.isEmpty())
        showMessage(tr("%1 set to %2").arg(name, value), false);
    else
        showMessage(tr("%1 not written: %2").arg(name, problem), true);
}
