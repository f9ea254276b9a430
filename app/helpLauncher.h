// Opens the help file of the product connected or chosen, and says so when no
// viewer for it is installed.
#pragma once

#include <QObject>
#include <QString>
#include <functional>

class QUrl;
class QWidget;
class loginDialog;

class helpLauncher : public QObject {
    Q_OBJECT
public:
    // Message boxes open over the window.
    explicit helpLauncher(QWidget* window);

    // Opens the address of a help file; returns whether the desktop took it.
    // The default hands it to the desktop's handler; tests capture it.
    using UrlOpener = std::function<bool(const QUrl&)>;
    void setUrlOpener(UrlOpener opener);
    // Whether a viewer for .chm files is installed; tests replace the check.
    void setHelpViewerCheck(std::function<bool()> check);
    static bool chmViewerInstalled();

    // Opens the help of the product connected (product, in the language the
    // last choice left), or, without a device, of the product the user
    // chooses now.
    void showHelp(bool connected, const QString& product);

private:
    QWidget* m_window;
    loginDialog* m_loginDialog = nullptr;  // lives while the help asks for a product
    UrlOpener m_urlOpener;
    std::function<bool()> m_helpViewerCheck;
};
