#include "app/Twips.h"

#include <QAbstractButton>
#include <QFile>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>
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

namespace {

// True when the control's caption fits its rectangle in the control's font, as Qt lays
// the control out.
bool captionFits(const QWidget *control)
{
    const QFontMetrics metrics(control->font());
    if (const auto *label = qobject_cast<const QLabel *>(control)) {
        if (!label->wordWrap())
            return label->sizeHint().width() <= label->width();
        // No word wider than a line, and every line within the height.
        const int lineWidth = label->contentsRect().width() - 2 * label->margin();
        const QStringList words = label->text().split(QLatin1Char(' '), Qt::SkipEmptyParts);
        for (const QString &word : words) {
            if (metrics.horizontalAdvance(word) > lineWidth)
                return false;
        }
        return label->heightForWidth(label->width()) <= label->height();
    }
    if (const auto *button = qobject_cast<const QPushButton *>(control)) {
        // The text's own room; a push button's size hint asks for a minimum width that
        // has nothing to do with its caption.
        QStyleOptionButton option;
        option.initFrom(button);
        option.text = button->text();
        const QRect room = button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
        return metrics.horizontalAdvance(button->text()) <= room.width();
    }
    if (qobject_cast<const QAbstractButton *>(control)) // the indicator, its spacing and the text
        return control->sizeHint().width() <= control->width();
    return true;
}

QString captionOf(const QWidget *control)
{
    if (const auto *label = qobject_cast<const QLabel *>(control))
        return label->text();
    if (const auto *button = qobject_cast<const QAbstractButton *>(control))
        return button->text();
    return QString();
}

} // namespace

void fitCaptions(QWidget *window)
{
    constexpr double Step = 0.25;
    constexpr double Smallest = 4.0;
    for (QWidget *control : window->findChildren<QWidget *>()) {
        if (captionOf(control).isEmpty())
            continue;
        QFont font = control->font();
        while (!captionFits(control) && font.pointSizeF() - Step >= Smallest) {
            font.setPointSizeF(font.pointSizeF() - Step);
            control->setFont(font);
        }
    }
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
