#include "app/select-anywhere/direct_result_panel.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QVBoxLayout>
#include <QWindow>

namespace velquin {

namespace {

// How close to an edge a press resizes instead of moving.
constexpr qreal edgeReach = 6;

Qt::CursorShape cursorFor(Qt::Edges edges) {
    const bool horizontal = edges & (Qt::LeftEdge | Qt::RightEdge);
    const bool vertical = edges & (Qt::TopEdge | Qt::BottomEdge);
    if (horizontal && vertical) {
        const bool falling =
            (edges & Qt::LeftEdge && edges & Qt::TopEdge) || (edges & Qt::RightEdge && edges & Qt::BottomEdge);
        return falling ? Qt::SizeFDiagCursor : Qt::SizeBDiagCursor;
    }
    if (horizontal) return Qt::SizeHorCursor;
    if (vertical) return Qt::SizeVerCursor;
    return Qt::ArrowCursor;
}

}  // namespace

DirectResultPanel::DirectResultPanel(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setMinimumSize(minimumPanelSize);
    resize(initialSize);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
}

void DirectResultPanel::setContent(QWidget* content) {
    if (content_) {
        layout()->removeWidget(content_);
        content_->deleteLater();
    }
    content_ = content;
    layout()->addWidget(content_);
}

bool DirectResultPanel::event(QEvent* event) {
    // Every pointer event of the window passes here first, so the edges work above the content.
    if (event->type() == QEvent::WinIdChange && windowHandle()) windowHandle()->installEventFilter(this);
    return QWidget::event(event);
}

Qt::Edges DirectResultPanel::edgesAt(QPointF position) const {
    Qt::Edges edges;
    if (position.x() < edgeReach) edges |= Qt::LeftEdge;
    if (position.x() > width() - edgeReach) edges |= Qt::RightEdge;
    if (position.y() < edgeReach) edges |= Qt::TopEdge;
    if (position.y() > height() - edgeReach) edges |= Qt::BottomEdge;
    return edges;
}

bool DirectResultPanel::eventFilter(QObject* watched, QEvent* event) {
    if (watched != windowHandle()) return false;
    if (event->type() == QEvent::MouseMove) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->buttons() == Qt::NoButton) {
            const Qt::Edges edges = edgesAt(mouse->position());
            if (edges) windowHandle()->setCursor(cursorFor(edges));
            else windowHandle()->unsetCursor();
        }
    } else if (event->type() == QEvent::MouseButtonPress) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        const Qt::Edges edges = edgesAt(mouse->position());
        if (mouse->button() == Qt::LeftButton && edges) {
            windowHandle()->startSystemResize(edges);
            return true;
        }
    }
    return false;
}

void DirectResultPanel::mousePressEvent(QMouseEvent* event) {
    // A press that no control took: the background moves the panel.
    if (event->button() == Qt::LeftButton && windowHandle()) {
        windowHandle()->startSystemMove();
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}

void DirectResultPanel::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        event->accept();
        if (dismissResult_) dismissResult_();
        return;
    }
    QWidget::keyPressEvent(event);
}

}  // namespace velquin
