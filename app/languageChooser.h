// The Language menu: one entry per shipped language, the chosen one kept in
// the settings, and the offer to restart so that it takes effect.
#pragma once

#include <QList>
#include <QObject>

class QAction;
class QMenu;
class QMenuBar;
class QWidget;
class LanguageCheck;

class languageChooser : public QObject {
    Q_OBJECT
public:
    // The entries are made now, the menu by addMenuTo().
    explicit languageChooser(QWidget* window);
    ~languageChooser() override;

    // Adds the Language menu to bar, with the language in the settings checked.
    QMenu* addMenuTo(QMenuBar* bar);

private slots:
    void slotOnLanguageSelected(QAction* action);

private:
    QWidget* m_window;
    LanguageCheck* m_languageCheck;
    QList<QAction*> m_languageActions;
    QMenu* m_languageMenu = nullptr;
};
