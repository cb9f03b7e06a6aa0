#include "historydialog.h"

#include <QDateTime>
#include <QListWidget>
#include <QVBoxLayout>

HistoryDialog::HistoryDialog(const tornavel::EventHistory& history, QWidget* parent)
    : QDialog(parent), list_(new QListWidget(this))
{
    setWindowTitle(QStringLiteral("история событий"));
    list_->setSelectionMode(QAbstractItemView::NoSelection);
    list_->setFocusPolicy(Qt::NoFocus);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 4, 4, 4);
    layout->addWidget(list_);
    resize(560, 320);
    for (const auto& entry : history.Load()) Add(entry);
}

void HistoryDialog::Add(const tornavel::HistoryEntry& entry)
{
    const QString when = QDateTime::fromSecsSinceEpoch(entry.at).toString(QStringLiteral("dd.MM.yyyy hh:mm:ss"));
    // A list item draws its text as it is: no markup is ever interpreted.
    list_->insertItem(0, when + QStringLiteral("   ") + QString::fromStdString(tornavel::KindCaption(entry.kind)) +
                             QStringLiteral(":   ") + QString::fromStdString(entry.text));
}
