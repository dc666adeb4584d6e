// How the drawing list shows names: every name readable in two lines under its thumbnail,
// wrapped at word boundaries and elided in the middle beyond that, with the full name, the
// record's file name and its size in the tooltip.
#pragma once

#include <cstdint>

#include <QStyledItemDelegate>

class QFontMetrics;
class QListWidget;

namespace plotwick::app {

// The name as it fits into lines of width pixels: wrapped, and when more than two lines
// would be needed, cut in the middle ("Flower in…big pot") so that it fits into two.
// The lines are separated by '\n'.
QString TwoLineName(const QString& name, const QFontMetrics& metrics, int width);

// "Flower in a pot\nrec00017.dat, 1,234 bytes".
QString DrawingToolTip(const QString& name, const QString& fileName, std::int64_t bytes);

// Shows only the items whose caption holds text (ignoring case); every item for an empty text.
void FilterDrawingList(QListWidget* list, const QString& text);

// Draws a list item's caption with TwoLineName.
class TDrawingNameDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;
};

}  // namespace plotwick::app
