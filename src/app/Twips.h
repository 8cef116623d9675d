// Twips and fonts: the windows are designed in twips (1/1440 inch) and Tahoma.
//
// A length in twips becomes twips x logicalDpi / 1440 pixels (15 twips per pixel at 96
// DPI), horizontally with the widget's horizontal DPI and vertically with its vertical
// one, rounded to the nearest pixel.
#pragma once

#include <QFont>
#include <QRect>
#include <QSize>

class QWidget;

namespace app {

int twipsToPixelsX(const QWidget *reference, int twips);
int twipsToPixelsY(const QWidget *reference, int twips);
// (left, top, width, height) in twips to pixels.
QRect twipsRect(const QWidget *reference, int left, int top, int width, int height);
QSize twipsSize(const QWidget *reference, int width, int height);
// Places `widget` in its parent at the twips given.
void placeTwips(QWidget *widget, int left, int top, int width, int height);

// Tahoma at `points` (fractions allowed: 15.75, 11.25), bold or regular.
QFont tahoma(double points, bool bold);

// Draws every caption of `window` (labels, buttons, option buttons, check boxes) within
// its control's rectangle: where the face is wider than the design assumed, the
// control's font is made smaller, a quarter point at a time, until the text (with the
// indicator of an option button or check box, and a word-wrapped label's every line)
// fits. Controls whose captions fit keep their font. Run once the window's controls are
// placed.
void fitCaptions(QWidget *window);

// Registers the Tahoma faces of Debian's fonts-wine with the application when they are
// installed (/usr/share/wine/fonts/tahoma.ttf and tahomabd.ttf); otherwise fontconfig's
// substitute for Tahoma is used. Returns how many faces were added.
int registerTahoma();

} // namespace app
