#pragma once

#include <QWidget>

class QLabel;
class QToolButton;

namespace velquin {

class AppStore;
class WrappedText;

// The store's error message on a faint orange ground, selectable, with a button that clears it.
// Shown only while the store holds an error message.
class ErrorBanner : public QWidget {
    Q_OBJECT
public:
    explicit ErrorBanner(AppStore& store, QWidget* parent = nullptr);

    WrappedText* message() const { return message_; }
    QToolButton* closeButton() const { return close_; }

    void retranslate();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void showMessage();
    void restyle();

    AppStore& store_;
    QLabel* symbol_ = nullptr;
    WrappedText* message_ = nullptr;
    QToolButton* close_ = nullptr;
};

}  // namespace velquin
