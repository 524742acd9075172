#pragma once

#include <QDialog>
#include <QList>

class QHBoxLayout;
class QLabel;
class QPushButton;

namespace velquin {

class AppStore;

// The sheet before a screen-region capture: how to read text that cannot be selected, then
// "粘贴已有截图" (closes, then pastes the picture on the clipboard), "取消", or "开始框选截图"
// (closes, then starts the capture a quarter of a second later, once the sheet is off the screen).
// Both actions wait while the store is busy.
class CaptureGuideView : public QDialog {
    Q_OBJECT
public:
    static constexpr int width = 540;
    static constexpr int captureDelayMs = 250;

    explicit CaptureGuideView(AppStore& store, QWidget* parent = nullptr);

    const QList<QLabel*>& stepLines() const { return steps_; }
    QPushButton* pasteButton() const { return paste_; }
    QPushButton* cancelButton() const { return cancel_; }
    QPushButton* captureButton() const { return capture_; }

    void retranslate();

private:
    void showBusy();
    void restyle();
    void fitSize();

    AppStore& store_;
    QHBoxLayout* buttonRow_ = nullptr;
    QLabel* title_ = nullptr;
    QLabel* intro_ = nullptr;
    QList<QLabel*> steps_;
    QLabel* wholePdf_ = nullptr;
    QLabel* clipboardHint_ = nullptr;
    QPushButton* paste_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QPushButton* capture_ = nullptr;
};

}  // namespace velquin
