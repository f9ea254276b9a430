// Paints the program's embedded image set, the launcher icons and a contact
// sheet of all of them. Run at build time; every image is drawn here, so a
// colour or a shape is changed by editing this file and rebuilding.
//
//   qxups_imagegen <images dir> <hicolor dir> <contact sheet png>

#include <QDir>
#include <QFileInfo>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QVector>
#include <QtMath>

#include <cstdio>
#include <functional>

#include "imagePaint.h"

namespace {

using namespace imgpaint;

struct Icon {
    const char* name;
    int w, h;
    qreal units;  // drawing units across the width
    std::function<void(QPainter&)> paint;
};

QVector<Icon> iconTable() {
    return {
        {"DC.png", 16, 16, 16, paintTrayDc},
        {"UPS.png", 16, 16, 16, paintTrayUps},
        {"NotConnected.png", 16, 16, 16, paintTrayNotConnected},
        {"LowBattery.png", 16, 16, 16, paintTrayLowBattery},
        {"main_cnc.png", 193, 246, 193, [](QPainter& p) { paintModule(p, false); }},
        {"connect.png", 40, 40, 40, paintConnect},
        {"disconnect.png", 40, 40, 40, paintDisconnect},
        {"option.png", 40, 40, 40, paintOption},
        {"about.png", 40, 40, 40, paintAbout},
        {"help.png", 40, 40, 40, paintHelp},
        {"config.png", 40, 40, 40, paintConfig},
        {"Warning.png", 40, 40, 40, paintWarning},
        {"battery0.png", 40, 40, 40, [](QPainter& p) { paintBattery(p, 0); }},
        {"battery25.png", 40, 40, 40, [](QPainter& p) { paintBattery(p, 25); }},
        {"battery50.png", 40, 40, 40, [](QPainter& p) { paintBattery(p, 50); }},
        {"battery75.png", 40, 40, 40, [](QPainter& p) { paintBattery(p, 75); }},
        {"battery100.png", 40, 40, 40, [](QPainter& p) { paintBattery(p, 100); }},
        {"caution1.png", 40, 40, 40, [](QPainter& p) { paintCaution(p, 1); }},
        {"caution2.png", 40, 40, 40, [](QPainter& p) { paintCaution(p, 2); }},
        {"caution3.png", 40, 40, 40, [](QPainter& p) { paintCaution(p, 3); }},
        {"close.png", 40, 40, 40, paintClose},
        {"home.png", 40, 40, 40, paintHome},
        {"minimize.png", 40, 40, 40, paintMinimize},
        {"ok.png", 40, 40, 40, paintOk},
        {"open.png", 32, 32, 32, paintOpen},
        {"led_green.png", 52, 52, 52,
         [](QPainter& p) { paintLed(p, pal::green, QColor(0xC8, 0xF5, 0xC9)); }},
        {"led_red.png", 52, 52, 52,
         [](QPainter& p) { paintLed(p, pal::red, QColor(0xFF, 0xCD, 0xC9)); }},
        {"led_white.png", 52, 52, 52,
         [](QPainter& p) { paintLed(p, QColor(0xCF, 0xD8, 0xDC), pal::white); }},
        {"led_yellow.png", 52, 52, 52,
         [](QPainter& p) { paintLed(p, pal::yellow, QColor(0xFF, 0xF9, 0xC4)); }},
        {"TARVEL LOGO-01.png", 2500, 582, 0, nullptr},
    };
}

QImage render(const Icon& icon) {
    QImage img = blank(icon.w, icon.h);
    if (!icon.paint) {
        paintLogo(img);
        return img;
    }
    QPainter p;
    begin(p, img, icon.units);
    icon.paint(p);
    p.end();
    return img;
}

// Square launcher icon: the module centred; small sizes drop the fine detail.
QImage launcher(int size) {
    QImage img = blank(size, size);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal s = size / 246.0;
    p.translate((size - 193 * s) / 2, 0);
    p.scale(s, s);
    paintModule(p, size < 100);
    p.end();
    return img;
}

bool save(const QImage& img, const QString& path) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    if (!img.save(path, "PNG")) {
        std::fprintf(stderr, "imagegen: cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

// Every image at 1x and the tray icons at 4x, once on a light and once on a
// dark panel, labelled with their file names.
QImage contactSheet(const QVector<Icon>& icons, const QVector<QImage>& images,
                    const QVector<QImage>& launchers) {
    const int cell = 112, labelH = 18, pad = 16;
    const int panelW = 2500 + 2 * pad;
    const int perRow = panelW / cell;
    QFont label(QStringLiteral("DejaVu Sans"));
    label.setPixelSize(11);
    QFont heading(QStringLiteral("DejaVu Sans"));
    heading.setPixelSize(16);
    heading.setBold(true);

    auto panel = [&](const QColor& bg, const QColor& fg, const QString& title) {
        // small images in a grid, then the tray icons at 4x, the launcher
        // icons, the window icon and the logo
        int small = 0;
        for (const Icon& i : icons)
            if (i.w <= 64) ++small;
        const int rows = (small + perRow - 1) / perRow;
        const int gridH = rows * (64 + labelH);
        const int trayH = 64 + labelH;
        const int bigH = 256 + labelH;
        const int logoH = 582 + labelH;
        const int h = pad + 24 + gridH + pad + trayH + pad + bigH + pad + logoH + pad;
        QImage img(panelW, h, QImage::Format_ARGB32_Premultiplied);
        img.fill(bg);
        QPainter p(&img);
        p.setPen(fg);
        p.setFont(heading);
        p.drawText(QRect(pad, pad, panelW, 24), Qt::AlignLeft | Qt::AlignVCenter, title);
        p.setFont(label);
        int y = pad + 24, n = 0;
        for (int k = 0; k < icons.size(); ++k) {
            if (icons[k].w > 64) continue;
            const int x = pad + (n % perRow) * cell;
            const int yy = y + (n / perRow) * (64 + labelH);
            const QImage& im = images[k];
            p.drawImage(x + (cell - im.width()) / 2, yy + (64 - im.height()) / 2, im);
            p.drawText(QRect(x, yy + 64, cell, labelH), Qt::AlignCenter,
                       QString::fromLatin1(icons[k].name));
            ++n;
        }
        y += gridH + pad;
        // tray icons at 4x, pixels kept sharp
        int x = pad;
        for (int k = 0; k < icons.size(); ++k) {
            if (icons[k].w != 16) continue;
            const QImage big =
                images[k].scaled(64, 64, Qt::IgnoreAspectRatio, Qt::FastTransformation);
            p.drawImage(x + (cell - 64) / 2, y, big);
            p.drawText(QRect(x, y + 64, cell, labelH), Qt::AlignCenter,
                       QString::fromLatin1(icons[k].name) + QStringLiteral(" 4x"));
            x += cell;
        }
        y += trayH + pad;
        x = pad;
        int module = 0;
        while (module < icons.size() - 1 && qstrcmp(icons[module].name, "main_cnc.png") != 0)
            ++module;
        p.drawImage(x, y + (256 - images[module].height()) / 2, images[module]);
        p.drawText(QRect(x, y + 256, images[module].width(), labelH), Qt::AlignCenter,
                   QString::fromLatin1(icons[module].name));
        x += images[module].width() + 2 * pad;
        for (const QImage& l : launchers) {
            p.drawImage(x, y + 256 - l.height(), l);
            p.drawText(QRect(x, y + 256, qMax(l.width(), 64), labelH), Qt::AlignCenter,
                       QStringLiteral("launcher %1").arg(l.width()));
            x += l.width() + 2 * pad;
        }
        y += bigH + pad;
        const QImage& logo = images.last();
        p.drawImage(pad, y, logo);
        p.drawText(QRect(pad, y + 582, logo.width(), labelH), Qt::AlignCenter,
                   QString::fromLatin1(icons.last().name));
        p.end();
        return img;
    };

    const QImage lightPanel =
        panel(QColor(0xF5, 0xF5, 0xF5), pal::inkDark, QStringLiteral("Light"));
    const QImage darkPanel = panel(QColor(0x2B, 0x2B, 0x2B), pal::light, QStringLiteral("Dark"));
    QImage sheet(panelW, lightPanel.height() + darkPanel.height(), QImage::Format_RGB32);
    QPainter p(&sheet);
    p.drawImage(0, 0, lightPanel);
    p.drawImage(0, lightPanel.height(), darkPanel);
    p.end();
    return sheet;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s <images dir> <hicolor dir> <contact sheet png>\n", argv[0]);
        return 2;
    }
    const QString imagesDir = QString::fromLocal8Bit(argv[1]);
    const QString hicolorDir = QString::fromLocal8Bit(argv[2]);
    const QString sheetPath = QString::fromLocal8Bit(argv[3]);

    bool ok = true;
    const QVector<Icon> icons = iconTable();
    QVector<QImage> images;
    for (const Icon& icon : icons) {
        images.append(render(icon));
        ok = save(images.last(), imagesDir + QLatin1Char('/') + QString::fromLatin1(icon.name)) &&
             ok;
    }
    QVector<QImage> launchers;
    for (int size : {48, 64, 128, 256}) {
        launchers.append(launcher(size));
        ok = save(launchers.last(),
                  QStringLiteral("%1/%2x%2/apps/QXUPSUtility.png").arg(hicolorDir).arg(size)) &&
             ok;
    }
    ok = save(contactSheet(icons, images, launchers), sheetPath) && ok;
    return ok ? 0 : 1;
}
