// The product choice for the help when no module is connected: the products
// are the groups of help/help.ini; an accepted choice is kept as
// "/SELECTED/Name" in help/select.ini, where the help reads it back.
#pragma once

#include <QDialog>

class QComboBox;
class QLabel;
class QPushButton;
class QSettings;

class loginDialog : public QDialog {
    Q_OBJECT
public:
    explicit loginDialog(QWidget* parent = nullptr);
    ~loginDialog() override;

    QComboBox* productBox() const { return m_comboBox; }

private slots:
    void slotOnExit();
    void slotOnAccept();

private:
    void releaseSettings();

    QLabel* m_label_2;
    QLabel* m_label;
    QComboBox* m_comboBox;
    QPushButton* m_btnExit;
    QPushButton* m_btnAccept;
    QSettings* m_settings;
};
