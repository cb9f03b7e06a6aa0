#pragma once
#include <QDialog>

#include "history/eventhistory.h"

class QListWidget;

// The history of events, read-only, newest first: what the file kept from
// earlier runs, then this run's events as they happen. Every text is shown
// as plain text, whatever a unit put in it.
class HistoryDialog final : public QDialog {
    Q_OBJECT
public:
    HistoryDialog(const tornavel::EventHistory& history, QWidget* parent);

    // One event on top of the list; window thread only.
    void Add(const tornavel::HistoryEntry& entry);
    QListWidget* list() const { return list_; }

private:
    QListWidget* list_;
};
