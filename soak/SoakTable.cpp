#include "SoakTable.h"

#include <algorithm>
#include <cstdio>

SoakTable::SoakTable(const QStringList& header) : m_header(header)
{
    m_header << QStringLiteral("result");
}

void SoakTable::add(const QStringList& cells)
{
    m_rows << (QStringList(cells) << QString());
}

void SoakTable::check(const QStringList& cells, bool passed)
{
    m_rows << (QStringList(cells) << (passed ? QStringLiteral("PASS") : QStringLiteral("FAIL")));
    m_passed = m_passed && passed;
}

void SoakTable::print() const
{
    QList<qsizetype> widths;
    for (const QString& name : m_header)
        widths << name.size();
    for (const QStringList& row : m_rows) {
        for (qsizetype column = 0; column < row.size() && column < widths.size(); ++column)
            widths[column] = std::max(widths[column], row[column].size());
    }
    const auto line = [&](const QStringList& cells) {
        QString text = QStringLiteral("|");
        for (qsizetype column = 0; column < widths.size(); ++column)
            text += QLatin1Char(' ') + cells.value(column).leftJustified(widths[column]) +
                    QStringLiteral(" |");
        std::printf("%s\n", text.toUtf8().constData());
    };
    line(m_header);
    QString rule = QStringLiteral("|");
    for (const qsizetype width : widths)
        rule += QString(width + 2, QLatin1Char('-')) + QLatin1Char('|');
    std::printf("%s\n", rule.toUtf8().constData());
    for (const QStringList& row : m_rows)
        line(row);
}
