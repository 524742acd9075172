#pragma once

#include <QWidget>

#include <functional>

namespace velquin {

// The floating window of the answer: no title bar or window buttons, above other programs'
// windows, 360 x 390 at first and never smaller than 320 x 300. It is moved by dragging any
// background area and resized at its edges. Escape asks its owner to dismiss it (once); it is only
// ever shown and hidden, never closed.
class DirectResultPanel : public QWidget {
    Q_OBJECT
public:
    static constexpr QSize initialSize{360, 390};
    static constexpr QSize minimumPanelSize{320, 300};

    explicit DirectResultPanel(QWidget* parent = nullptr);

    // What Escape calls; nothing happens without one.
    void setDismissResult(std::function<void()> dismiss) { dismissResult_ = std::move(dismiss); }
    // Puts `content` in the panel, filling it.
    void setContent(QWidget* content);
    QWidget* content() const { return content_; }

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    // The window edges within reach of a pointer at `position` (panel coordinates).
    Qt::Edges edgesAt(QPointF position) const;

    std::function<void()> dismissResult_;
    QWidget* content_ = nullptr;
};

}  // namespace velquin
