#pragma once
// A table of the soak's figures, printed as Markdown: rows of figures only, and checked rows
// whose last cells are the target and PASS or FAIL.

#include <QList>
#include <QStringList>

class SoakTable {
public:
    // The header names every column but the verdict.
    explicit SoakTable(const QStringList& header);

    void add(const QStringList& cells);
    // cells end with the target.
    void check(const QStringList& cells, bool passed);
    bool passed() const { return m_passed; }
    void print() const;

private:
    QStringList m_header;
    QList<QStringList> m_rows;
    bool m_passed = true;
};
