#pragma once

#include <QDialog>
#include <QFont>
#include <QString>

#include <functional>

#include "app/shell/app_store.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace velquin {

// The sheet that asks which pages of a staged PDF to take: the file, its page count, the first and
// last page (pages 1 to 5, or all of a shorter document, at first), and the import button, which
// hands a valid range on once and closes the sheet. An unusable range shows its error line and
// cannot be imported, neither by the button nor by Return; Escape and "取消" close the sheet
// without a range. It reads no file. The main window and the tutor show it each with their own
// texts, sizes and look (Look).
class PDFRangeView : public QDialog {
    Q_OBJECT
public:
    static constexpr int defaultLastPage = 5;
    static constexpr int maximumPages = 20;

    // What the callers' sheets differ in. Texts are the Chinese sources, shown through UIStrings.
    struct Look {
        int width = 0;
        int padding = 0;     // inside every edge
        int rowSpacing = 0;  // between the rows
        std::optional<int> pageRowSpacing;  // between the labels and fields; none: as the rows
        int fieldWidth = 0;
        QFont titleFont;
        QFont fileNameFont;
        QFont noteFont;  // the page-count line, the hint and the error line
        QFont labelFont;
        // The page-count line for a count, in the interface language.
        std::function<QString(int pageCount)> pageCountLine;
        QString hint;  // none when empty
        QString error;
        QString importTitle;
        // Accessibility names; none when empty.
        QString objectName;
        QString firstFieldName;
        QString lastFieldName;
        QString importButtonName;
        // Colours the sheet for the appearance shown now (the error line is orange in every look).
        std::function<void(PDFRangeView&)> restyle;
    };

    PDFRangeView(Look look, const PDFChoice& choice, std::function<void(PageRange)> onImport,
                 QWidget* parent = nullptr);

    // At least page 1, the last not before the first and not past the document, at most 20 pages.
    static bool isValid(int first, int last, int pageCount);
    // `text` broken into the lines it takes at `width` in `font`, at most two: the second line of a
    // longer text ends in "…".
    static QString twoLines(const QString& text, const QFont& font, int width);
    bool isValid() const;

    QLabel* fileNameLine() const { return fileName_; }
    QLineEdit* firstField() const { return first_; }
    QLineEdit* lastField() const { return last_; }
    QLabel* pageCountLine() const { return pageCount_; }
    QLabel* hintLine() const { return hint_; }
    QLabel* errorLine() const { return error_; }
    QPushButton* cancelButton() const { return cancel_; }
    QPushButton* importButton() const { return import_; }

    void retranslate();

private:
    void showValidity();
    // The height the rows need at the sheet's width.
    void fitHeight();
    void importRange();
    void restyle();

    Look look_;
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
