#include "serial/SerialLine.h"

SerialLine::SerialLine(QObject* parent) : QObject(parent) {}

SerialLine::~SerialLine() = default;
