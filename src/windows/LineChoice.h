#pragma once
// How the settings window reads its two line choices out of the texts of its combo boxes.

#include <QString>
#include <QStringView>

#include <optional>

// The whole number at the start of the first six characters of a speed text ("38400 bps" ->
// 38400, "9600  bps" -> 9600, "9600bps" -> 9600), leading blanks ignored, a sign allowed;
// no value when those characters do not start with a number.
std::optional<qint32> baudRateFromText(QStringView text);

// The port number: the last character of the port text ("com2" -> "2"), empty for an empty text.
QString portNoFromText(QStringView text);
