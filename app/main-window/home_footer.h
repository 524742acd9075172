#pragma once

#include <QWidget>

class QLabel;

namespace velquin {

class AppStore;
class ElidedLabel;

// The last line of the home page: a dot (orange while the store is busy, else the accent), the
// store's status line and the privacy label. The dot's dynamic property "busy" tells tests.
class HomeFooter : public QWidget {
    Q_OBJECT
public:
    explicit HomeFooter(AppStore& store, QWidget* parent = nullptr);

    QWidget* dot() const { return dot_; }
    ElidedLabel* status() const { return status_; }
    QLabel* privacyLabel() const { return privacy_; }

    void retranslate();

private:
    void showStore();
    void restyle();

    AppStore& store_;
    QWidget* dot_ = nullptr;
    ElidedLabel* status_ = nullptr;
    QLabel* privacy_ = nullptr;
};

}  // namespace velquin
