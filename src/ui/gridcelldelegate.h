#pragma once
#include <QStyledItemDelegate>

// Cells of the device grid: the chosen row light green across all columns,
// every other cell white, the text black at 2, 2 inside the cell.
class GridCellDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};
