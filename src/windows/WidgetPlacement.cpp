#include "windows/WidgetPlacement.h"

#include <QGuiApplication>
#include <QPalette>
#include <QScreen>
#include <QWidget>

int twipsToPixels(int twips)
{
    // Without a screen (never in a running program) fall back to the common 96 dpi.
    const QScreen* screen = QGuiApplication::primaryScreen();
    const qreal dpi = screen ? screen->logicalDotsPerInchX() : 96.0;
    return qRound(twips * dpi / 1440.0);
}

QRect twipsRect(int left, int top, int width, int height)
{
    return QRect(QPoint(twipsToPixels(left), twipsToPixels(top)), twipsSize(width, height));
}

QSize twipsSize(int width, int height)
{
    return QSize(twipsToPixels(width), twipsToPixels(height));
}

void placeWidget(QWidget* widget, int left, int top, int width, int height)
{
    widget->setGeometry(twipsRect(left, top, width, height));
}

void setTextColour(QWidget* widget, const QColor& colour)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Text, colour);
    widget->setPalette(palette);
}
