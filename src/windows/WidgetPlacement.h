#pragma once
// Window geometry is given in twips (1/1440 inch); these place widgets at 1440 twips per
// logical inch of the screen.

#include <QColor>
#include <QRect>
#include <QSize>

class QWidget;

int twipsToPixels(int twips);
QRect twipsRect(int left, int top, int width, int height);
QSize twipsSize(int width, int height);
// Places the widget in its parent at the twips rectangle.
void placeWidget(QWidget* widget, int left, int top, int width, int height);
// The colour of a text box's whole text.
void setTextColour(QWidget* widget, const QColor& colour);
