#pragma once

#include <QDialog>

#include <functional>

#include "app/tutor-workspace/merid_formal_import.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace velquin {

// The tutor's sheet that asks which pages of a staged PDF to import: the file, its page count, the
// first and last page (1 to 5, or all of a shorter document, at first) and "导入选中页", which hands
// a valid range on once and closes the sheet. It reads no file; "取消", Escape and the window's
// close button close it without a range.
class MeridFormalPDFRangeView : public QDialog {
    Q_OBJECT
public:
    static constexpr int width = 440;
    static constexpr int defaultLastPage = 5;
    static constexpr int maximumPages = 20;

    MeridFormalPDFRangeView(const MeridFormalPDFChoice& choice, std::function<void(PageRange)> onImport,
                            QWidget* parent = nullptr);

    // At least page 1, the last not before the first and not past the document, at most 20 pages.
    static bool isValid(int first, int last, int pageCount);
    bool isValid() const;

    QLineEdit* firstField() const { return first_; }
    QLineEdit* lastField() const { return last_; }
    QLabel* errorLine() const { return error_; }
    QPushButton* cancelButton() const { return cancel_; }
    QPushButton* importButton() const { return import_; }

    void retranslate();

private:
    void showValidity();
    void fitHeight();
    void importRange();
    void restyle();

    MeridFormalPDFChoice choice_;
    std::function<void(PageRange)> onImport_;
    QLabel* title_ = nullptr;
    QLabel* fileName_ = nullptr;
    QLabel* pageCount_ = nullptr;
    QLabel* firstLabel_ = nullptr;
    QLineEdit* first_ = nullptr;
    QLabel* lastLabel_ = nullptr;
    QLineEdit* last_ = nullptr;
    QLabel* error_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QPushButton* import_ = nullptr;
};

}  // namespace velquin
