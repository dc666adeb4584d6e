#include "app/DrawingList.h"

#include <algorithm>

#include <QFontMetrics>
#include <QListView>
#include <QListWidget>
#include <QLocale>

namespace plotwick::app {

namespace {

// The lines text wraps into at that width: at spaces, and a word wider than a line anywhere.
QStringList Wrap(const QString& text, const QFontMetrics& metrics, int width)
{
    QStringList lines;
    QString line;
    const auto fits = [&](const QString& t) { return metrics.horizontalAdvance(t) <= width; };
    for (const QString& word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QString joined = line.isEmpty() ? word : line + QLatin1Char(' ') + word;
        if (fits(joined)) {
            line = joined;
            continue;
        }
        if (!line.isEmpty())
            lines << line;
        line.clear();
        for (const QChar c : word) {
            if (!line.isEmpty() && !fits(line + c)) {
                lines << line;
                line.clear();
            }
            line += c;
        }
    }
    if (!line.isEmpty() || lines.isEmpty())
        lines << line;
    return lines;
}

}  // namespace

QString TwoLineName(const QString& name, const QFontMetrics& metrics, int width)
{
    const QStringList whole = Wrap(name, metrics, width);
    if (whole.size() <= 2)
        return whole.join(QLatin1Char('\n'));
    // The most characters of both ends that still fit into two lines with "…" between.
    const QString ellipsis = QStringLiteral("\u2026");
    qsizetype low = 0, high = name.size() / 2;
    QString best = ellipsis;
    while (low <= high) {
        const qsizetype keep = (low + high) / 2;
        const QString candidate = name.left(keep).trimmed() + ellipsis + name.right(keep).trimmed();
        const QStringList lines = Wrap(candidate, metrics, width);
        if (lines.size() <= 2) {
            best = lines.join(QLatin1Char('\n'));
            low = keep + 1;
        } else {
            high = keep - 1;
        }
    }
    return best;
}

QString DrawingToolTip(const QString& name, const QString& fileName, std::int64_t bytes)
{
    return name + QLatin1Char('\n') + fileName + QStringLiteral(", ") +
           QLocale(QLocale::English).toString(static_cast<qlonglong>(bytes)) + QStringLiteral(" bytes");
}

void FilterDrawingList(QListWidget* list, const QString& text)
{
    const QString wanted = text.trimmed();
    list->setUpdatesEnabled(false);
    for (int i = 0; i < list->count(); ++i) {
        QListWidgetItem* item = list->item(i);
        item->setHidden(!wanted.isEmpty() && !item->text().contains(wanted, Qt::CaseInsensitive));
    }
    list->setUpdatesEnabled(true);
}

void TDrawingNameDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const
{
    QStyledItemDelegate::initStyleOption(option, index);
    // The width of a cell of the list's grid, less a little room on either side.
    const auto* view = qobject_cast<const QListView*>(option->widget);
    const int cell = view && view->gridSize().isValid() ? view->gridSize().width() : option->rect.width();
    const int width = std::max(20, cell - 8);
    option->text = TwoLineName(option->text, option->fontMetrics, width);
    option->text.replace(QLatin1Char('\n'), QChar::LineSeparator);
    option->features |= QStyleOptionViewItem::WrapText;
    option->textElideMode = Qt::ElideNone;
}

}  // namespace plotwick::app
