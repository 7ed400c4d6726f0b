#include "window/qt/pictures.h"

#include <QBitmap>
#include <QFont>
#include <QPainter>
#include <QPainterPath>

namespace window {
namespace {
QImage WhiteImage(int width, int height, QImage::Format format) {
    QImage image(width, height, format);
    image.fill(Qt::white);
    return image;
}
}  // namespace

QImage EraserImage() {
    QImage image = WhiteImage(16, 16, QImage::Format_RGB32);
    QPainter p(&image);
    // Body: a slanted block seen from the front.
    const QPointF body[] = {{1, 9}, {9, 9}, {14, 4}, {14, 8}, {9, 13}, {1, 13}};
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 160, 0));
    p.drawPolygon(body, 6);
    // Top face: chequered blue and white.
    const QPointF top[] = {{1, 9}, {6, 4}, {14, 4}, {9, 9}};
    QPainterPath topPath;
    topPath.addPolygon(QPolygonF(std::begin(top), std::end(top)));
    topPath.closeSubpath();
    p.save();
    p.setClipPath(topPath);
    for (int y = 4; y < 10; y += 2)
        for (int x = 0; x < 16; x += 2) p.fillRect(x, y, 2, 2, ((x + y) / 2) % 2 ? Qt::white : QColor(0, 0, 255));
    p.restore();
    p.setPen(QPen(Qt::black, 1));
    p.setBrush(Qt::NoBrush);
    p.drawPolygon(top, 4);
    p.drawPolygon(body, 6);
    p.drawLine(QPointF(9, 9), QPointF(9, 13));
    p.end();
    image.setPixel(0, 15, qRgb(255, 255, 255));
    return image;
}

QPixmap EraserPicture() {
    const QImage image = EraserImage();
    QPixmap pixmap = QPixmap::fromImage(image);
    pixmap.setMask(QBitmap::fromImage(image.createMaskFromColor(image.pixel(0, image.height() - 1), Qt::MaskInColor)));
    return pixmap;
}

QImage ProgramIconImage() {
    QImage image = WhiteImage(32, 32, QImage::Format_RGB32);
    QPainter p(&image);
    p.setPen(QPen(Qt::black, 3, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    // V
    p.drawLine(3, 5, 10, 26);
    p.drawLine(10, 26, 17, 5);
    // r
    p.drawLine(21, 13, 21, 26);
    p.drawLine(21, 17, 25, 13);
    p.drawLine(25, 13, 29, 13);
    return image;
}

QImage LogoImage() {
    QImage image = WhiteImage(127, 127, QImage::Format_RGB888);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, true);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(22);
    font.setBold(true);
    font.setItalic(true);
    p.setFont(font);
    p.setPen(QColor(200, 0, 0));
    p.drawText(QRect(2, 2, 123, 26), Qt::AlignHCenter | Qt::AlignVCenter, QStringLiteral("Pump"));
    p.setPen(Qt::black);
    p.drawText(QRect(2, 26, 123, 26), Qt::AlignHCenter | Qt::AlignVCenter, QStringLiteral("Tools"));

    // Desktop computer: monitor on a stand, keyboard in front.
    p.setPen(QPen(Qt::black, 1.5));
    p.setBrush(QColor(225, 225, 225));
    p.drawRoundedRect(QRectF(10, 60, 52, 38), 3, 3);
    p.setBrush(QColor(70, 110, 190));
    p.drawRect(QRectF(15, 65, 42, 28));
    p.setBrush(QColor(225, 225, 225));
    p.drawRect(QRectF(30, 98, 12, 6));
    p.drawRect(QRectF(6, 106, 60, 10));
    p.setPen(QPen(Qt::gray, 1));
    for (int x = 10; x < 64; x += 6) p.drawLine(x, 109, x + 3, 109);
    for (int x = 12; x < 62; x += 6) p.drawLine(x, 113, x + 3, 113);

    // Handheld device: a tall body with a small screen and keys, and a cable.
    p.setPen(QPen(Qt::black, 1.5));
    p.setBrush(QColor(250, 200, 40));
    p.drawRoundedRect(QRectF(82, 58, 32, 58), 5, 5);
    p.setBrush(QColor(170, 210, 170));
    p.drawRect(QRectF(87, 64, 22, 18));
    p.setBrush(QColor(60, 60, 60));
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 3; ++col) p.drawRect(QRectF(88 + col * 7, 88 + row * 8, 5, 5));
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(Qt::black, 1.2));
    QPainterPath cable(QPointF(98, 58));
    cable.cubicTo(QPointF(98, 45), QPointF(75, 52), QPointF(66, 70));
    p.drawPath(cable);
    return image;
}

}  // namespace window
