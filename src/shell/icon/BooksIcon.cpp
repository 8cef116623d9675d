// Draws the program's icon, a small stack of three books, and writes it as
// Books05.ICO (16, 32 and 48 pixel images, 32-bit with alpha) and as a PNG for the
// desktop's menus. Run at build time:
//   books-icon <ico path> <png path> [png size]
#include <QByteArray>
#include <QColor>
#include <QFile>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

// One book lying flat, seen from the front: a coloured cover with its spine towards
// the viewer and the page block on the right.
void drawBook(QPainter &p, QRectF r, QColor cover)
{
    const qreal radius = r.height() * 0.18;
    QPainterPath body;
    body.addRoundedRect(r, radius, radius);
    QLinearGradient shade(r.topLeft(), r.bottomLeft());
    shade.setColorAt(0, cover.lighter(135));
    shade.setColorAt(1, cover.darker(130));
    p.fillPath(body, shade);

    // Pages: a cream block at the right end, with a few lines.
    const QRectF pages(r.right() - r.width() * 0.22, r.top() + r.height() * 0.18, r.width() * 0.18,
                       r.height() * 0.64);
    p.fillRect(pages, QColor(250, 244, 222));
    p.setPen(QPen(QColor(200, 190, 160), r.height() * 0.06));
    for (int i = 1; i < 3; ++i) {
        const qreal y = pages.top() + pages.height() * i / 3.0;
        p.drawLine(QPointF(pages.left(), y), QPointF(pages.right(), y));
    }
    // Two gold bands on the spine.
    p.setPen(QPen(QColor(235, 200, 80), r.height() * 0.1));
    for (qreal f : {0.18, 0.62}) {
        const qreal x = r.left() + r.width() * f;
        p.drawLine(QPointF(x, r.top() + r.height() * 0.15), QPointF(x, r.bottom() - r.height() * 0.15));
    }
    p.setPen(QPen(cover.darker(200), r.height() * 0.06));
    p.setBrush(Qt::NoBrush);
    p.drawPath(body);
}

QImage drawIcon(int size)
{
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 48.0, size / 48.0);
    // Bottom to top, each book a little shifted, as a stack on a desk.
    drawBook(p, QRectF(3, 33, 42, 11), QColor(170, 40, 40));
    drawBook(p, QRectF(7, 21, 37, 11), QColor(40, 80, 170));
    drawBook(p, QRectF(4, 9, 38, 11), QColor(40, 130, 60));
    p.end();
    return image;
}

void put16(QByteArray &out, int value)
{
    out.append(static_cast<char>(value & 0xff));
    out.append(static_cast<char>((value >> 8) & 0xff));
}

void put32(QByteArray &out, std::uint32_t value)
{
    for (int shift = 0; shift < 32; shift += 8)
        out.append(static_cast<char>((value >> shift) & 0xff));
}

// One icon image: a 32-bit bottom-up DIB with its AND mask (set where transparent).
QByteArray dibImage(const QImage &image)
{
    const int size = image.width();
    QByteArray out;
    put32(out, 40);
    put32(out, static_cast<std::uint32_t>(size));
    put32(out, static_cast<std::uint32_t>(size * 2));
    put16(out, 1);
    put16(out, 32);
    put32(out, 0);
    const int maskStride = ((size + 31) / 32) * 4;
    put32(out, static_cast<std::uint32_t>(size * size * 4 + maskStride * size));
    for (int i = 0; i < 4; ++i)
        put32(out, 0);
    for (int y = size - 1; y >= 0; --y) {
        for (int x = 0; x < size; ++x) {
            const QRgb pixel = image.pixel(x, y); // ARGB32 (not premultiplied)
            out.append(static_cast<char>(qBlue(pixel)));
            out.append(static_cast<char>(qGreen(pixel)));
            out.append(static_cast<char>(qRed(pixel)));
            out.append(static_cast<char>(qAlpha(pixel)));
        }
    }
    for (int y = size - 1; y >= 0; --y) {
        QByteArray row(maskStride, '\0');
        for (int x = 0; x < size; ++x) {
            if (qAlpha(image.pixel(x, y)) == 0)
                row[x / 8] = static_cast<char>(row[x / 8] | (0x80 >> (x % 8)));
        }
        out.append(row);
    }
    return out;
}

bool writeIco(const QString &path, const std::vector<int> &sizes)
{
    std::vector<QByteArray> images;
    for (int size : sizes)
        images.push_back(dibImage(drawIcon(size)));
    QByteArray out;
    put16(out, 0);
    put16(out, 1);
    put16(out, static_cast<int>(sizes.size()));
    std::uint32_t offset = static_cast<std::uint32_t>(6 + 16 * sizes.size());
    for (std::size_t i = 0; i < sizes.size(); ++i) {
        out.append(static_cast<char>(sizes[i] >= 256 ? 0 : sizes[i]));
        out.append(static_cast<char>(sizes[i] >= 256 ? 0 : sizes[i]));
        out.append('\0'); // no palette
        out.append('\0');
        put16(out, 1);
        put16(out, 32);
        put32(out, static_cast<std::uint32_t>(images[i].size()));
        put32(out, offset);
        offset += static_cast<std::uint32_t>(images[i].size());
    }
    for (const QByteArray &image : images)
        out.append(image);
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(out) == out.size();
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: books-icon <ico path> <png path> [png size]\n");
        return 2;
    }
    const int pngSize = argc > 3 ? QByteArray(argv[3]).toInt() : 48;
    if (!writeIco(QString::fromLocal8Bit(argv[1]), {16, 32, 48})) {
        std::fprintf(stderr, "books-icon: cannot write %s\n", argv[1]);
        return 1;
    }
    if (pngSize <= 0 || !drawIcon(pngSize).save(QString::fromLocal8Bit(argv[2]), "PNG")) {
        std::fprintf(stderr, "books-icon: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
