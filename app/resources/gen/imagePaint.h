// The painters of the program's image set: one palette, shared shapes, one function an image.
#pragma once

#include <QColor>
#include <QImage>
#include <QPainter>

namespace imgpaint {

// One palette for the whole set.
namespace pal {
const QColor ink(0x37, 0x47, 0x4F);       // outlines, dark glyphs
const QColor inkDark(0x26, 0x32, 0x38);   // deepest shade
const QColor slate(0x60, 0x7D, 0x8B);     // neutral controls
const QColor line(0x60, 0x7D, 0x8B);      // strokes: readable on light and dark
const QColor blue(0x1E, 0x88, 0xE5);      // actions and information
const QColor blueDark(0x15, 0x65, 0xC0);  // edges of blue shapes
const QColor green(0x43, 0xA0, 0x47);     // good, connected, charged
const QColor greenDark(0x1B, 0x5E, 0x20);
const QColor amber(0xFF, 0xB3, 0x00);  // attention, on battery
const QColor amberDark(0x8D, 0x5A, 0x00);
const QColor yellow(0xFD, 0xD8, 0x35);
const QColor orange(0xF5, 0x7C, 0x00);
const QColor red(0xE5, 0x39, 0x35);
const QColor redDark(0xB7, 0x1C, 0x1C);
const QColor light(0xEC, 0xEF, 0xF1);
const QColor white(0xFF, 0xFF, 0xFF);
}  // namespace pal

QImage blank(int w, int h);
// Scales the painter so that the image is `units` drawing units across.
void begin(QPainter& p, QImage& img, qreal units);

void paintTrayDc(QPainter& p);
void paintTrayUps(QPainter& p);
void paintTrayLowBattery(QPainter& p);
void paintTrayNotConnected(QPainter& p);
void paintModule(QPainter& p, bool small);
void paintConnect(QPainter& p);
void paintDisconnect(QPainter& p);
void paintOption(QPainter& p);
void paintAbout(QPainter& p);
void paintHelp(QPainter& p);
void paintConfig(QPainter& p);
void paintWarning(QPainter& p);
void paintBattery(QPainter& p, int percent);
void paintCaution(QPainter& p, int level);
void paintClose(QPainter& p);
void paintHome(QPainter& p);
void paintMinimize(QPainter& p);
void paintOk(QPainter& p);
void paintOpen(QPainter& p);
void paintLed(QPainter& p, const QColor& base, const QColor& hot);
void paintLogo(QImage& img);

}  // namespace imgpaint
