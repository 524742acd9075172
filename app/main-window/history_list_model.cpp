#include "app/main-window/history_list_model.h"

#include <QSet>

#include "app/account/history_store.h"

namespace velquin {

HistoryListModel::HistoryListModel(HistoryStore& history, QObject* parent)
    : QAbstractListModel(parent), history_(history) {
    connect(&history_, &HistoryStore::recordsChanged, this, &HistoryListModel::refresh);
    refresh();
}

void HistoryListModel::setNotesOnly(bool notesOnly) {
    if (notesOnly_ == notesOnly) return;
    notesOnly_ = notesOnly;
    refresh();
}

void HistoryListModel::refresh() {
    QList<LearningRecord> shown;
    QSet<QUuid> ids;
    for (const LearningRecord& record : history_.records()) {
        if (notesOnly_ && !record.isNote) continue;
        if (ids.contains(record.id)) continue;  // one row per id
        ids.insert(record.id);
        shown.append(record);
    }
    beginResetModel();
    shown_ = std::move(shown);
    endResetModel();
}

int HistoryListModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : int(shown_.size()); }

QVariant HistoryListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= shown_.size()) return {};
    const LearningRecord& record = shown_.at(index.row());
    switch (role) {
    case Qt::DisplayRole: return record.source;
    case IdRole: return record.id;
    default: return {};
    }
}

int HistoryListModel::rowOf(const QUuid& id) const {
    for (int row = 0; row < shown_.size(); ++row)
        if (shown_[row].id == id) return row;
    return -1;
}

}  // namespace velquin
