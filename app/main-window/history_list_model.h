#pragma once

#include <QAbstractListModel>
#include <QList>

#include "app/account/learning_record.h"

namespace velquin {

class HistoryStore;

// The records of a history store as a list, in the store's order, one row per record id; with
// `notesOnly`, only the notes. It follows the store's changes and changes nothing itself.
class HistoryListModel : public QAbstractListModel {
    Q_OBJECT
public:
    enum Role { IdRole = Qt::UserRole + 1 };

    explicit HistoryListModel(HistoryStore& history, QObject* parent = nullptr);

    bool notesOnly() const { return notesOnly_; }
    void setNotesOnly(bool notesOnly);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    // DisplayRole: the source; IdRole: the record's id.
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    const LearningRecord& record(int row) const { return shown_.at(row); }
    // The row of the record with this id, or -1.
    int rowOf(const QUuid& id) const;

private:
    void refresh();

    HistoryStore& history_;
    bool notesOnly_ = false;
    QList<LearningRecord> shown_;
};

}  // namespace velquin
