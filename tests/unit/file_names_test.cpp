#include "engine/file_names.h"

#include <gtest/gtest.h>

#include <QStringList>
#include <algorithm>

#include "support/qt_printers.h"

using quillane::engine::FoldedName;
using quillane::engine::SortNames;

namespace {

// Names whose order without regard to case is easy to get wrong: letters that fold to ASCII
// (the Kelvin sign), letters that fold to another of their script (final sigma), punctuation
// that sits between the upper and lower case letters, letters beyond the BMP (a surrogate pair
// folds as one), a high surrogate standing alone, and names that are prefixes of each other.
QStringList TrickyNames() {
    QStringList names{
        "Sales.mdf",  "SALES.MDF", "sales.mdf",  "sales",       "_x.mdf", "[x].mdf",  "K.mdf",
        "\u212A.mdf", "k.mdf",     "Straße.mdf", "STRASSE.mdf", "σ.mdf",  "ς.mdf",    "Σ.mdf",
        "𐐀.mdf",      "𐐨.mdf",     "é.mdf",      "E\u0301.mdf", "E.mdf",  "库存.mdf", "ｍ.mdf",
        "Ｍ.mdf",     "",          "a"};
    names.append(QString(QChar(0xD801)) + QStringLiteral("x.mdf"));
    names.append(QString(QChar(0xD801)) + QChar(0xFF41));
    names.append(QString(QChar(0xD801)) + QChar(0xDC00));
    return names;
}

int Sign(int value) {
    return (value > 0) - (value < 0);
}

TEST(FoldedNameTest, ComparesAsQtComparesWithoutRegardToCase) {
    const QStringList names = TrickyNames();
    for (const QString& a : names) {
        for (const QString& b : names) {
            EXPECT_EQ(Sign(FoldedName(a).compare(FoldedName(b))),
                      Sign(QString::compare(a, b, Qt::CaseInsensitive)))
                << a.toStdString() << " vs " << b.toStdString();
        }
    }
}

TEST(SortNamesTest, WithoutRegardToCaseThenByCase) {
    QStringList sorted = TrickyNames();
    std::reverse(sorted.begin(), sorted.end());
    SortNames(sorted);
    QStringList expected = TrickyNames();
    std::stable_sort(expected.begin(), expected.end(), [](const QString& a, const QString& b) {
        const int folded = QString::compare(a, b, Qt::CaseInsensitive);
        return folded != 0 ? folded < 0 : QString::compare(a, b, Qt::CaseSensitive) < 0;
    });
    EXPECT_EQ(sorted, expected);
    // "[" and "_" lie between the capitals and the small letters, and capitals fold to small ones.
    EXPECT_EQ(sorted.mid(0, 4), (QStringList{"", "[x].mdf", "_x.mdf", "a"}));
}

}  // namespace
