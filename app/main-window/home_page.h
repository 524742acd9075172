#pragma once

#include <QScrollArea>

class QLabel;
class QVBoxLayout;

namespace velquin {

class AppStore;

// The home page: a scrolling column at most 1000 wide, centred at the top of the page, that holds
// the study workspace's sections from top to bottom (header and hero, error banner, input,
// control bar, answer, recent history and footer), 17 apart.
class HomePage : public QScrollArea {
    Q_OBJECT
public:
    static constexpr int maximumColumnWidth = 1000;

    explicit HomePage(AppStore& store, QWidget* parent = nullptr);

    // The column the sections are added to, in order.
    QVBoxLayout* column() const { return column_; }
    QWidget* columnWidget() const { return columnWidget_; }

    void retranslate();

private:
    AppStore& store_;
    QWidget* columnWidget_ = nullptr;
    QVBoxLayout* column_ = nullptr;
    QLabel* title_ = nullptr;  // until the sections are built
};

}  // namespace velquin
