#include "app/Twips.h"

#include <QFile>
#include <QFontDatabase>
#include <QWidget>

#include <cmath>

namespace app {

int twipsToPixelsX(const QWidget *reference, int twips)
{
    return static_cast<int>(std::lround(twips * static_cast<double>(reference->logicalDpiX()) / 1440.0));
}

int twipsToPixelsY(const QWidget *reference, int twips)
{
    return static_cast<int>(std::lround(twips * static_cast<double>(reference->logicalDpiY()) / 1440.0));
}

QRect twipsRect(const QWidget *reference, int left, int top, int width, int height)
{
    return QRect(twipsToPixelsX(reference, left), twipsToPixelsY(reference, top), twipsToPixelsX(reference, width),
                 twipsToPixelsY(reference, height));
}

QSize twipsSize(const QWidget *reference, int width, int height)
{
    return QSize(twipsToPixelsX(reference, width), twipsToPixelsY(reference, height));
}

void placeTwips(QWidget *widget, int left, int top, int width, int height)
{
    widget->setGeometry(twipsRect(widget, left, top, width, height));
}

QFont tahoma(double points, bool bold)
{
    QFont font(QStringLiteral("Tahoma"));
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

int registerTahoma()
{
    int added = 0;
    for (const char *face : {"/usr/share/wine/fonts/tahoma.ttf", "/usr/share/wine/fonts/tahomabd.ttf"}) {
        const QString path = QString::fromLatin1(face);
        if (QFile::exists(path) && QFontDatabase::addApplicationFont(path) >= 0)
            ++added;
    }
    return added;
}

} // namespace app
