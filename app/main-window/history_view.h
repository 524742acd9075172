#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QUuid>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <variant>

class QCheckBox;
class QLabel;
class QMessageBox;
class QPushButton;
class QListView;
class QModelIndex;
class QTimer;

namespace velquin {

class GlyphLoader;
class HistoryListModel;
class HistoryRow;
class HistoryStore;
class WrappedText;
struct LearningRecord;

// The learning history of whoever uses the application now, as a page: the records of the store
// newest first (only the notes, when asked), each with its source, its whole answer, its date and
// mode, and the buttons to continue from it, mark it as a note and delete it; deleting all; the
// copy of the guest history into the account while one exists. It keeps no records of its own and
// changes the history only through the store.
class HistoryView : public QWidget {
    Q_OBJECT
public:
    using ContinueCallback = std::function<void(const LearningRecord&)>;

    // Without `onContinue` the rows have no continue button; without `onClose` the page closes
    // itself where it would call it.
    HistoryView(HistoryStore& history, ContinueCallback onContinue, std::function<void()> onClose,
                QWidget* parent = nullptr);
    ~HistoryView() override;

    // The deletion waiting for the user's confirmation, if any.
    struct All {
        bool operator==(const All&) const = default;
    };
    using DeleteScope = std::variant<QUuid, All>;
    const std::optional<DeleteScope>& deleteScope() const { return deleteScope_; }

    void retranslate();

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Time given to measuring rows in one turn of the event loop, in milliseconds.
    static constexpr int measureTime = 12;
    // Time between layouts of the list while rows out of sight are measured, in milliseconds.
    static constexpr int layOutInterval = 100;

    // The width the rows are measured and shown at.
    int rowWidth() const;
    // The room the list gives a row: none until it is measured, and as measured at another width
    // until it is measured again at this one.
    int rowHeight(const QModelIndex& index) const;
    // The record at the top of the list and how far it is scrolled past, kept while the rows are
    // built again (a note marked, a record deleted, the language changed) so that the list stays
    // where the person was; none at the top, where the list stays.
    struct Anchor {
        QUuid id;
        int row = -1;
        int offset = 0;
    };
    Anchor topRecord() const;
    // Drops the row widgets, lays the list out again and places new ones, kept at `anchor`.
    void rebuildRows(const Anchor& anchor);
    // Lays the list out again with the rows' heights as they stand, kept at `anchor` (its rows are
    // placed on the next turn of the event loop, unless placed at once).
    void layOut(const Anchor& anchor);
    // Whether the row's height is known at `width`.
    bool isMeasured(int row, int width) const;
    // The row to measure next: the first in sight whose height is not known, else the first of
    // the list; -1 when every height is known. `inSight`: whether it comes into sight once measured.
    int nextToMeasure(bool* inSight = nullptr);
    // Measures rows until the time of a turn is used (at least one row, unless the glyphs of its
    // characters take that time to load), or, while no row is shown, until those that come into
    // sight are measured; whether any was, and in sight. Goes on in the next turn while rows are
    // left.
    enum class Measuring { none, outOfSight, inSight };
    Measuring measureSome();
    // Makes the widgets of the rows in sight and drops those out of it.
    void placeRows();
    // Scrolls the row of `button` into sight.
    void reveal(QWidget* button);
    HistoryRow* makeRow(const QModelIndex& index);
    void showStoreState();
    void restyle();
    void importLegacy();
    void askToDelete(DeleteScope scope);
    void confirmDeletion();
    // The back button and Escape.
    void leave();

    HistoryStore& history_;
    ContinueCallback onContinue_;
    std::function<void()> onClose_;
    std::optional<DeleteScope> deleteScope_;
    QString importNotice_;

    QLabel* title_ = nullptr;
    QCheckBox* notesOnly_ = nullptr;
    QPushButton* back_ = nullptr;
    QWidget* importBlock_ = nullptr;
    QPushButton* importButton_ = nullptr;
    QLabel* importExplanation_ = nullptr;
    QLabel* importNoticeLabel_ = nullptr;
    QLabel* storageLine_ = nullptr;
    WrappedText* statusLine_ = nullptr;
    HistoryListModel* model_ = nullptr;
    QListView* list_ = nullptr;
    QTimer* placeTimer_ = nullptr;
    QTimer* measureTimer_ = nullptr;
    // The width rows are measured at, and the first row not measured at it.
    int measuredWidth_ = -1;
    int measuredFrom_ = 0;
    // Since the list was last laid out with the rows' heights.
    QElapsedTimer laidOut_;
    QPushButton* deleteAll_ = nullptr;
    QMessageBox* confirmation_ = nullptr;
    Anchor anchor_;
    // The row widgets in sight by record id.
    QHash<QUuid, HistoryRow*> rows_;
    // The record and the name of the button whose focus the page holds while its row is built again.
    std::optional<std::pair<QUuid, QString>> refocus_;
    // Row heights: a row without its source and answer at the list's width, and the height of
    // each record's source and answer.
    struct Measured {
        int width = -1;
        qsizetype answerLength = -1;
        int answerHeight = 0;
        int sourceHeight = 0;
    };
    QHash<QUuid, Measured> heights_;
    // The glyphs of the answers' and sources' characters, loaded before their rows are measured.
    std::unique_ptr<GlyphLoader> answerGlyphs_;
    std::unique_ptr<GlyphLoader> sourceGlyphs_;
    mutable HistoryRow* prototype_ = nullptr;
    mutable int prototypeWidth_ = -1;
    mutable int prototypeHeight_ = 0;
};

}  // namespace velquin
