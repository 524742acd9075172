#pragma once

#include <QAbstractButton>
#include <QString>

class QLabel;

namespace velquin {

class LessonaryElidedLabel;
class LessonarySymbol;

// One stored tutor session in the course library: its name (two lines at most), a short evidence
// label, the open one marked. A click asks to open it; its context menu asks to delete it. While
// a request runs it takes no action.
class MeridHistorySessionRow : public QAbstractButton {
    Q_OBJECT
public:
    MeridHistorySessionRow(const QString& title, const QString& evidence, bool isActive, bool busy,
                           QWidget* parent = nullptr);

    // Shows another content in place (a list that changes keeps its rows).
    void setContent(const QString& title, const QString& evidence, bool isActive, bool busy);

    bool isActive() const { return active_; }
    LessonaryElidedLabel* titleLabel() const { return title_; }
    LessonaryElidedLabel* evidenceLabel() const { return evidence_; }
    LessonarySymbol* symbol() const { return symbol_; }
    // The text of the context menu's one item.
    static QString deleteItemText();

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;

Q_SIGNALS:
    void openRequested();
    void deleteRequested();

protected:
    void changeEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void restyle();

    bool active_;
    LessonarySymbol* symbol_ = nullptr;
    LessonaryElidedLabel* title_ = nullptr;
    LessonaryElidedLabel* evidence_ = nullptr;
};

}  // namespace velquin
