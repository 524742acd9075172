#pragma once

#include <memory>

#include "app/main-window/surface_card.h"

class QAction;
class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace velquin {

class AppStore;
class FileChooser;
class WrappedText;

// The home page's input card: the heading with the character counter and "清空", the editor bound
// to the store's source with its placeholder, and the row of paste and import actions with the
// note on where the text came from. The counter's dynamic property "overLimit" is true while the
// source is longer than the store accepts for sending.
class InputCard : public SurfaceCard {
    Q_OBJECT
public:
    static constexpr int editorHeight = 137;

    InputCard(AppStore& store, std::shared_ptr<FileChooser> chooser, QWidget* parent = nullptr);

    QLabel* counter() const { return counter_; }
    QPushButton* clearButton() const { return clear_; }
    QPlainTextEdit* editor() const { return editor_; }
    QLabel* placeholder() const { return placeholder_; }
    QPushButton* pasteButton() const { return paste_; }
    QPushButton* importMenuButton() const { return importMenu_; }
    QAction* pasteImageAction() const { return pasteImage_; }
    QAction* captureAction() const { return capture_; }
    QAction* importFileAction() const { return importFile_; }
    WrappedText* sourceNote() const { return note_; }

    // The dialog for choosing a file to import; the chosen file goes to the store. Nothing while
    // the store is busy.
    void openImportDialog();

    void retranslate();

private:
    QString editorText() const;
    void showSource();
    void showBusy();
    void restyle();

    AppStore& store_;
    std::shared_ptr<FileChooser> chooser_;
    QLabel* heading_ = nullptr;
    QLabel* counter_ = nullptr;
    QPushButton* clear_ = nullptr;
    QWidget* editorFrame_ = nullptr;
    QPlainTextEdit* editor_ = nullptr;
    QLabel* placeholder_ = nullptr;
    QWidget* actionRow_ = nullptr;
    QPushButton* paste_ = nullptr;
    QPushButton* importMenu_ = nullptr;
    QAction* pasteImage_ = nullptr;
    QAction* capture_ = nullptr;
    QAction* importFile_ = nullptr;
    WrappedText* note_ = nullptr;
    bool showingSource_ = false;  // the editor is being set from the store
};

}  // namespace velquin
