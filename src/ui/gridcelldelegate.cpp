#include "gridcelldelegate.h"

#include <QPainter>

void GridCellDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const bool selected = option.state & QStyle::State_Selected;
    painter->save();
    painter->fillRect(option.rect, selected ? QColor(0xE0, 0xFF, 0xE0) : QColor(Qt::white));
    painter->setClipRect(option.rect);
    painter->setPen(Qt::black);
    painter->setFont(option.font);
    const QRect textRect = option.rect.adjusted(2, 2, 0, 0);
    painter->drawText(textRect, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                      index.data(Qt::DisplayRole).toString());
    painter->restore();
}
