#pragma once

#include <QObject>
#include <QPointer>

#include <functional>

#include <QDialog>
class QWidget;

namespace velquin {

// Shows a sheet (a window-modal dialog on `window`) while a flag of the store is set, and clears
// the flag when the sheet closes by any route. Each presentation makes a new sheet with the
// factory and deletes it once closed. Without a factory the flag is left as it is: the sheet is
// not part of the program yet.
class SheetBinding : public QObject {
    Q_OBJECT
public:
    using Factory = std::function<QDialog*(QWidget* parent)>;

    // `wanted` reads the flag; `dismissed` clears it after the sheet closed.
    SheetBinding(QWidget* window, std::function<bool()> wanted, std::function<void()> dismissed, Factory factory,
                 QObject* parent = nullptr);
    ~SheetBinding() override;

    // Opens or closes the sheet to match the flag; call it whenever the flag changes.
    void update();

    bool isBound() const { return bool(factory_); }
    // The sheet on screen, or null.
    QDialog* sheet() const { return sheet_; }

private:
    QWidget* window_;
    std::function<bool()> wanted_;
    std::function<void()> dismissed_;
    Factory factory_;
    QPointer<QDialog> sheet_;
};

// Opens a sheet over the sheet or window it was made for (its parent), window-modal, and deletes
// it once closed. For sheets that open from another sheet and need no store flag.
void openSheetOverParent(QDialog* sheet);

}  // namespace velquin
