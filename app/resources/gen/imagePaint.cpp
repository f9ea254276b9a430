// The painters of the program's image set: shared shapes and one function an image.
#include "imagePaint.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainterPath>
#include <QRadialGradient>
#include <QtMath>

namespace imgpaint {
// Line width of the 40 px set, in 40 px units; other sizes scale it.
constexpr qreal kStroke = 3.0;

QImage blank(int w, int h) {
    QImage img(w, h, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    return img;
}

void begin(QPainter& p, QImage& img, qreal units) {
    p.begin(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.scale(img.width() / units, img.width() / units);
}

QPen roundPen(const QColor& c, qreal w) {
    return QPen(c, w, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

// A glyph of the bold sans face as a path, centred on `centre` with its ink
// `height` units tall, so that "!", "?" and "i" share one typography.
QPainterPath glyph(const QString& text, QPointF centre, qreal height) {
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setBold(true);
    f.setPixelSize(100);
    QPainterPath path;
    path.addText(0, 0, f, text);
    const QRectF b = path.boundingRect();
    QTransform t;
    const qreal s = height / b.height();
    t.translate(centre.x(), centre.y());
    t.scale(s, s);
    t.translate(-b.center().x(), -b.center().y());
    return t.map(path);
}

// Lightning bolt in a 0..1 box, the project's power mark.
QPainterPath bolt(const QRectF& r) {
    const QVector<QPointF> pts = {{0.62, 0.00}, {0.10, 0.56}, {0.44, 0.56}, {0.34, 1.00},
                                  {0.90, 0.40}, {0.54, 0.40}, {0.62, 0.00}};
    QPainterPath path;
    for (int i = 0; i < pts.size(); ++i) {
        const QPointF q(r.left() + pts[i].x() * r.width(), r.top() + pts[i].y() * r.height());
        if (i == 0)
            path.moveTo(q);
        else
            path.lineTo(q);
    }
    path.closeSubpath();
    return path;
}

QPainterPath regularPolygon(QPointF c, qreal radius, int corners, qreal startDeg) {
    QPainterPath path;
    for (int i = 0; i < corners; ++i) {
        const qreal a = qDegreesToRadians(startDeg + 360.0 * i / corners);
        const QPointF q(c.x() + radius * qCos(a), c.y() + radius * qSin(a));
        if (i == 0)
            path.moveTo(q);
        else
            path.lineTo(q);
    }
    path.closeSubpath();
    return path;
}

// Filled badge shape with rounded corners: fill plus a same-coloured round-join pen.
void badge(QPainter& p, const QPainterPath& shape, const QColor& fill, qreal rounding) {
    p.setPen(roundPen(fill, rounding));
    p.setBrush(fill);
    p.drawPath(shape);
}

void circleBadge(QPainter& p, const QColor& fill) {
    p.setPen(Qt::NoPen);
    p.setBrush(fill);
    p.drawEllipse(QPointF(20, 20), 18, 18);
}

// ---- 40 px action and symbol icons (drawn in 40 units) ----

// Plug (left) and socket (right) on one diagonal; `gap` pulls them apart.
void paintPlug(QPainter& p, const QColor& body, qreal gap, bool spark) {
    p.save();
    p.translate(20, 20);
    p.rotate(-45);
    const qreal g = gap / 2;
    p.setPen(roundPen(pal::line, kStroke));
    p.drawLine(QPointF(-24, 0), QPointF(-10 - g, 0));
    p.drawLine(QPointF(10 + g, 0), QPointF(24, 0));
    // prongs of the plug
    p.setPen(roundPen(pal::line, 2.4));
    p.drawLine(QPointF(-2 - g, -3.2), QPointF(3 - g, -3.2));
    p.drawLine(QPointF(-2 - g, 3.2), QPointF(3 - g, 3.2));
    p.setPen(Qt::NoPen);
    p.setBrush(body);
    p.drawRoundedRect(QRectF(-12 - g, -8, 10, 16), 3, 3);
    p.drawRoundedRect(QRectF(2 + g, -8, 10, 16), 3, 3);
    if (spark) {
        p.setPen(roundPen(pal::line, 2.2));
        p.drawLine(QPointF(0, -13), QPointF(0, -17.5));
        p.drawLine(QPointF(-3.5, -11.5), QPointF(-6, -15.5));
        p.drawLine(QPointF(3.5, -11.5), QPointF(6, -15.5));
        p.drawLine(QPointF(0, 13), QPointF(0, 17.5));
        p.drawLine(QPointF(-3.5, 11.5), QPointF(-6, 15.5));
        p.drawLine(QPointF(3.5, 11.5), QPointF(6, 15.5));
    }
    p.restore();
}

void paintConnect(QPainter& p) {
    paintPlug(p, pal::green, 0, false);
}
void paintDisconnect(QPainter& p) {
    paintPlug(p, pal::red, 9, true);
}

void paintOption(QPainter& p) {
    const qreal ys[3] = {10, 20, 30};
    const qreal xs[3] = {26, 13, 22};
    for (int i = 0; i < 3; ++i) {
        p.setPen(roundPen(pal::line, kStroke));
        p.drawLine(QPointF(5, ys[i]), QPointF(35, ys[i]));
        p.setPen(QPen(pal::white, 1.6));
        p.setBrush(pal::blue);
        p.drawEllipse(QPointF(xs[i], ys[i]), 5, 5);
    }
}

void paintAbout(QPainter& p) {
    circleBadge(p, pal::blue);
    p.setPen(Qt::NoPen);
    p.setBrush(pal::white);
    p.drawPath(glyph(QStringLiteral("i"), QPointF(20, 20.2), 21));
}

void paintHelp(QPainter& p) {
    circleBadge(p, pal::blue);
    p.setPen(Qt::NoPen);
    p.setBrush(pal::white);
    p.drawPath(glyph(QStringLiteral("?"), QPointF(20, 20.2), 21));
}

QPainterPath gearPath(QPointF c, qreal outer, qreal inner, int teeth) {
    QPainterPath path;
    const qreal step = 360.0 / teeth;
    for (int i = 0; i < teeth; ++i) {
        const qreal a0 = i * step;
        const QVector<QPair<qreal, qreal>> pts = {{a0 - step * 0.30, inner},
                                                  {a0 - step * 0.17, outer},
                                                  {a0 + step * 0.17, outer},
                                                  {a0 + step * 0.30, inner}};
        for (int k = 0; k < pts.size(); ++k) {
            const qreal a = qDegreesToRadians(pts[k].first - 90);
            const QPointF q(c.x() + pts[k].second * qCos(a), c.y() + pts[k].second * qSin(a));
            if (i == 0 && k == 0)
                path.moveTo(q);
            else
                path.lineTo(q);
        }
    }
    path.closeSubpath();
    return path;
}

void paintConfig(QPainter& p) {
    QPainterPath gear = gearPath(QPointF(20, 20), 18, 13.5, 8);
    QPainterPath hole;
    hole.addEllipse(QPointF(20, 20), 5.5, 5.5);
    p.setPen(roundPen(pal::slate, 1.5));
    p.setBrush(pal::slate);
    p.drawPath(gear.subtracted(hole));
    // a blue hub marks the setting being changed
    p.setPen(Qt::NoPen);
    p.setBrush(pal::blue);
    p.drawEllipse(QPointF(20, 20), 3.2, 3.2);
}

QPainterPath triangle() {
    QPainterPath t;
    t.moveTo(20, 5);
    t.lineTo(36.5, 34);
    t.lineTo(3.5, 34);
    t.closeSubpath();
    return t;
}

void paintWarning(QPainter& p) {
    badge(p, triangle(), pal::amber, 5);
    p.setPen(Qt::NoPen);
    p.setBrush(pal::inkDark);
    p.drawPath(glyph(QStringLiteral("!"), QPointF(20, 23.5), 17.5));
}

// Severity rises with colour and shape: circle, diamond, octagon.
void paintCaution(QPainter& p, int level) {
    QColor fill, mark;
    QPainterPath shape;
    if (level == 1) {
        fill = pal::yellow;
        mark = pal::inkDark;
        shape.addEllipse(QPointF(20, 20), 16.5, 16.5);
    } else if (level == 2) {
        fill = pal::orange;
        mark = pal::white;
        shape = regularPolygon(QPointF(20, 20), 17.5, 4, -90);
    } else {
        fill = pal::red;
        mark = pal::white;
        shape = regularPolygon(QPointF(20, 20), 17.5, 8, -90 + 22.5);
    }
    badge(p, shape, fill, 3);
    p.setPen(Qt::NoPen);
    p.setBrush(mark);
    p.drawPath(glyph(QStringLiteral("!"), QPointF(20, 20), level == 2 ? 16 : 19));
}

// Horizontal battery whose four cells fill with the charge.
void paintBattery(QPainter& p, int percent) {
    const int cells = percent / 25;
    QColor fill = pal::green;
    if (percent <= 25)
        fill = pal::red;
    else if (percent <= 50)
        fill = pal::amber;
    const QColor outline = percent == 0 ? pal::red : pal::line;
    p.setPen(QPen(outline, kStroke, Qt::SolidLine, Qt::SquareCap, Qt::RoundJoin));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(3.5, 11.5, 30, 17), 3.5, 3.5);
    p.setPen(Qt::NoPen);
    p.setBrush(outline);
    p.drawRoundedRect(QRectF(34, 16, 4, 8), 1.5, 1.5);
    const qreal x0 = 7, y0 = 15, w = 23, h = 10, gapW = 1.6;
    const qreal cw = (w - 3 * gapW) / 4;
    p.setBrush(fill);
    for (int i = 0; i < cells; ++i)
        p.drawRoundedRect(QRectF(x0 + i * (cw + gapW), y0, cw, h), 1, 1);
}

void paintClose(QPainter& p) {
    circleBadge(p, pal::red);
    p.setPen(roundPen(pal::white, 3.6));
    p.drawLine(QPointF(13.5, 13.5), QPointF(26.5, 26.5));
    p.drawLine(QPointF(26.5, 13.5), QPointF(13.5, 26.5));
}

void paintOk(QPainter& p) {
    circleBadge(p, pal::green);
    p.setPen(roundPen(pal::white, 3.6));
    p.setBrush(Qt::NoBrush);
    QPainterPath c;
    c.moveTo(11.5, 20.5);
    c.lineTo(17.5, 26.5);
    c.lineTo(28.5, 14);
    p.drawPath(c);
}

void paintMinimize(QPainter& p) {
    circleBadge(p, pal::slate);
    p.setPen(roundPen(pal::white, 3.6));
    p.drawLine(QPointF(12.5, 25), QPointF(27.5, 25));
}

void paintHome(QPainter& p) {
    circleBadge(p, pal::blue);
    p.setPen(Qt::NoPen);
    p.setBrush(pal::white);
    QPainterPath house;
    house.moveTo(20, 9.5);
    house.lineTo(30.5, 19);
    house.lineTo(27.5, 19);
    house.lineTo(27.5, 29);
    house.lineTo(12.5, 29);
    house.lineTo(12.5, 19);
    house.lineTo(9.5, 19);
    house.closeSubpath();
    QPainterPath door;
    door.addRoundedRect(QRectF(17.6, 22, 4.8, 7.5), 1, 1);
    p.setPen(roundPen(pal::white, 1.5));
    p.drawPath(house.subtracted(door));
}

// ---- other sizes ----

// 32 px open folder (drawn in 32 units).
void paintOpen(QPainter& p) {
    p.setPen(Qt::NoPen);
    QPainterPath back;
    back.moveTo(3, 7.5);
    back.quadTo(3, 5.5, 5, 5.5);
    back.lineTo(11.5, 5.5);
    back.lineTo(14, 8.5);
    back.lineTo(25, 8.5);
    back.quadTo(27, 8.5, 27, 10.5);
    back.lineTo(27, 26.5);
    back.lineTo(3, 26.5);
    back.closeSubpath();
    badge(p, back, pal::amberDark.lighter(150), 1.2);
    // a sheet peeks out of the open folder
    p.setPen(Qt::NoPen);
    p.setBrush(pal::white);
    p.drawRect(QRectF(7, 10.5, 17, 10));
    QPainterPath front;
    front.moveTo(7.5, 14);
    front.lineTo(30, 14);
    front.lineTo(26, 26.5);
    front.lineTo(3, 26.5);
    front.closeSubpath();
    badge(p, front, pal::amber, 1.2);
}

// 52 px lamps (drawn in 52 units): a dark bezel and a lit dome.
void paintLed(QPainter& p, const QColor& base, const QColor& hot) {
    const QPointF c(26, 26);
    QLinearGradient bezel(0, 2, 0, 50);
    bezel.setColorAt(0, pal::slate);
    bezel.setColorAt(1, pal::inkDark);
    p.setPen(Qt::NoPen);
    p.setBrush(bezel);
    p.drawEllipse(c, 24, 24);
    QRadialGradient dome(QPointF(26, 24), 20, QPointF(22, 19));
    dome.setColorAt(0, hot);
    dome.setColorAt(0.55, base);
    dome.setColorAt(1, base.darker(135));
    p.setBrush(dome);
    p.drawEllipse(c, 19, 19);
    QRadialGradient shine(QPointF(20, 17), 9);
    shine.setColorAt(0, QColor(255, 255, 255, 210));
    shine.setColorAt(1, QColor(255, 255, 255, 0));
    p.setBrush(shine);
    p.drawEllipse(QPointF(20.5, 17.5), 9, 6.5);
}

// 16 px tray icons, drawn on the pixel grid. DC: round green badge with a
// bolt. UPS: upright battery with a nub, amber. Low battery: a hollow battery
// with a red foot and a "!". Not connected: a grey diamond with a cross. The silhouettes differ so
// that the state reads without telling the colours apart.
void paintTrayDc(QPainter& p) {
    p.setPen(QPen(pal::greenDark, 1));
    p.setBrush(pal::green);
    p.drawEllipse(QPointF(8, 8), 7.5, 7.5);
    p.setPen(Qt::NoPen);
    p.setBrush(pal::white);
    p.drawPath(bolt(QRectF(3.5, 2, 9, 12)));
}

void paintTrayUps(QPainter& p) {
    p.setPen(Qt::NoPen);
    p.setBrush(pal::amberDark);
    p.drawRect(QRectF(6, 0, 4, 2));
    p.drawRoundedRect(QRectF(3, 2, 10, 14), 1.2, 1.2);
    // drained from the top: an empty cell above two full ones
    p.setBrush(QColor(0xFF, 0xF3, 0xD0));
    p.drawRect(QRectF(4, 3, 8, 4));
    p.setBrush(pal::amber);
    p.drawRect(QRectF(4, 8, 8, 3));
    p.drawRect(QRectF(4, 12, 8, 3));
}

// Low battery: the battery narrowed to the left and hollow, one short red
// segment at its foot, and a red "!" beside it; the hollow body and the mark
// keep it apart from the full UPS battery without the colours.
void paintTrayLowBattery(QPainter& p) {
    p.setPen(Qt::NoPen);
    p.setBrush(pal::inkDark);
    p.drawRect(QRectF(2.5, 0.5, 4, 2));
    p.drawRoundedRect(QRectF(0.5, 2, 9, 14), 1.2, 1.2);
    p.setBrush(pal::light);
    p.drawRect(QRectF(2, 3.5, 6, 11));
    p.setBrush(pal::red);
    p.drawRect(QRectF(2, 11.5, 6, 3));
    // the mark: a dark edge keeps the red readable on red and dark panels
    p.setBrush(pal::redDark);
    p.drawRoundedRect(QRectF(11, 0.5, 4.5, 10), 1.5, 1.5);
    p.drawEllipse(QRectF(11, 11.5, 4.5, 4.5));
    p.setBrush(pal::red);
    p.drawRoundedRect(QRectF(12, 1.5, 2.5, 8), 1, 1);
    p.drawEllipse(QRectF(12, 12.5, 2.5, 2.5));
}

void paintTrayNotConnected(QPainter& p) {
    QPainterPath diamond;
    diamond.moveTo(8, 0.5);
    diamond.lineTo(15.5, 8);
    diamond.lineTo(8, 15.5);
    diamond.lineTo(0.5, 8);
    diamond.closeSubpath();
    p.setPen(QPen(pal::ink, 1));
    p.setBrush(QColor(0xB0, 0xBE, 0xC5));
    p.drawPath(diamond);
    p.setPen(QPen(pal::inkDark, 2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(5.5, 5.5), QPointF(10.5, 10.5));
    p.drawLine(QPointF(10.5, 5.5), QPointF(5.5, 10.5));
}

// The module, upright: dark case, display with a charge bar, status lamps
// and the power mark. Drawn in 193 x 246 units.
void paintModule(QPainter& p, bool small) {
    p.setPen(Qt::NoPen);
    // a light rim keeps the case apart from dark panels and title bars
    p.setBrush(pal::slate);
    p.drawRoundedRect(QRectF(14, 4, 165, 238), 22, 22);
    p.setBrush(pal::inkDark);
    p.drawRoundedRect(QRectF(18, 8, 157, 230), 19, 19);
    QLinearGradient face(0, 10, 0, 236);
    face.setColorAt(0, pal::ink.lighter(118));
    face.setColorAt(1, pal::ink);
    p.setBrush(face);
    p.drawRoundedRect(QRectF(22, 12, 149, 222), 16, 16);
    // display with a battery symbol three cells full
    p.setBrush(pal::inkDark);
    p.drawRoundedRect(QRectF(38, 30, 117, 54), 8, 8);
    p.setPen(QPen(pal::green.lighter(125), small ? 7 : 5));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(54, 42, 75, 30), 5, 5);
    p.setPen(Qt::NoPen);
    p.setBrush(pal::green.lighter(125));
    p.drawRect(QRectF(131, 50, 7, 14));
    if (!small) {
        for (int i = 0; i < 3; ++i)
            p.drawRect(QRectF(61 + i * 21, 49, 17, 16));
    } else {
        p.drawRect(QRectF(61, 49, 46, 16));
    }
    if (!small) {
        const QColor lamps[4] = {pal::green, pal::green, pal::amber, pal::slate};
        for (int i = 0; i < 4; ++i) {
            p.setBrush(lamps[i]);
            p.drawEllipse(QPointF(55 + i * 28, 104), 7, 7);
        }
    }
    // the power mark
    const QPointF c(96.5, small ? 160 : 168);
    const qreal r = small ? 52 : 44;
    p.setBrush(pal::amber);
    p.drawEllipse(c, r, r);
    p.setBrush(pal::inkDark);
    p.drawPath(bolt(QRectF(c.x() - r * 0.56, c.y() - r * 0.72, r * 1.12, r * 1.44)));
}

// The maker's logo: a blue tile with the power mark and the name, centred.
void paintLogo(QImage& img) {
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal h = img.height();
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setBold(true);
    f.setPixelSize(100);
    f.setLetterSpacing(QFont::PercentageSpacing, 104);
    QPainterPath word;
    word.addText(0, 0, f, QStringLiteral("TARVEL"));
    const QRectF wb = word.boundingRect();
    const qreal side = h - 40;
    const qreal gap = h * 0.18;
    const qreal s = (h * 0.42) / wb.height();
    const qreal left = (img.width() - (side + gap + wb.width() * s)) / 2;

    const QRectF tile(left, 20, side, side);
    p.setPen(Qt::NoPen);
    p.setBrush(pal::blue);
    p.drawRoundedRect(tile, side * 0.18, side * 0.18);
    p.setBrush(pal::white);
    p.drawPath(bolt(tile.adjusted(side * 0.22, side * 0.14, -side * 0.22, -side * 0.14)));
    QTransform t;
    t.translate(tile.right() + gap, h / 2);
    t.scale(s, s);
    t.translate(-wb.left(), -wb.center().y());
    p.setBrush(pal::blue);
    p.drawPath(t.map(word));
    p.end();
}
}  // namespace imgpaint
