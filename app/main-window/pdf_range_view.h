#pragma once

#include <QDialog>

#include <functional>

#include "app/shell/app_store.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace velquin {

// The sheet that asks which pages of a staged PDF become text: the file, its page count, the first
// and last page (pages 1 to 5, or all of a shorter document, at first), and "提取文字", which hands
// the range on and closes the sheet. An unusable range shows its error line and cannot be
// extracted, neither by the button nor by Return; Escape and "取消" close the sheet without one.
class PDFRangeView : public QDialog {
    Q_OBJECT
public:
    static constexpr int width = 460;
    static constexpr int defaultLastPage = 5;
    static constexpr int maximumPages = 20;

    PDFRangeView(const PDFChoice& choice, std::function<void(PageRange)> onImport, QWidget* parent = nullptr);

    // The sheet of the main window: the range goes to the store's import of the staged copy.
    static PDFRangeView* forStore(AppStore& store, const PDFChoice& choice, QWidget* parent);

    // At least page 1, the last not before the first and not past the document, at most 20 pages.
    static bool isValid(int first, int last, int pageCount);
    bool isValid() const;

    QLineEdit* firstField() const { return first_; }
    QLineEdit* lastField() const { return last_; }
    QLabel* pageCountLine() const { return pageCount_; }
    QLabel* errorLine() const { return error_; }
    QPushButton* cancelButton() const { return cancel_; }
    QPushButton* importButton() const { return import_; }

    void retranslate();

private:
    int fieldValue(const QLineEdit* field) const;
    void showValidity();
    // The height the rows need at the sheet's width.
    void fitHeight();
    void extract();
    void restyle();

    PDFChoice choice_;
    std::function<void(PageRange)> onImport_;
    QLabel* title_ = nullptr;
    QLabel* fileName_ = nullptr;
    QLabel* pageCount_ = nullptr;
    QLabel* firstLabel_ = nullptr;
    QLineEdit* first_ = nullptr;
    QLabel* lastLabel_ = nullptr;
    QLineEdit* last_ = nullptr;
    QLabel* hint_ = nullptr;
    QLabel* error_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QPushButton* import_ = nullptr;
};

}  // namespace velquin
