#pragma once

#include <QAbstractButton>
#include <QList>
#include <QWidget>

#include <optional>

#include "app/shell/workspace_router.h"

class QLabel;
class QPushButton;
class QVBoxLayout;

namespace velquin {

class AppStore;
class OrvelNativeCoach;
class OrvelNativeCoachTip;
class SelectionController;
class SwitchToggle;

// One row of the sidebar: a symbol and a title, the whole row clickable. A page row shows whether
// its page is the current one (the accent on a faint accent background; the dynamic property
// "selected" tells tests); an auxiliary row is never selected.
class SidebarRow : public QAbstractButton {
    Q_OBJECT
public:
    SidebarRow(const QString& title, const QString& symbol, std::optional<WorkspaceRouter::Page> page,
               QWidget* parent = nullptr);

    std::optional<WorkspaceRouter::Page> page() const { return page_; }
    // The Chinese title; the row shows it in the interface language.
    const QString& sourceTitle() const { return title_; }
    bool isSelected() const { return selected_; }
    void setSelected(bool selected);
    void retranslate();

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    QString title_;
    QString symbol_;
    std::optional<WorkspaceRouter::Page> page_;
    bool selected_ = false;
    bool keyboardFocus_ = false;  // the focus ring shows only for focus moved by the keyboard
};

// The main window's navigation column: the brand, the select-anywhere switch, the tour's tips, the
// permission hint, the three page rows and the rows that open the select-anywhere settings, the
// account and the settings sheets. It decides nothing: it shows the router, the controller and the
// tour, and calls them.
class Sidebar : public QWidget {
    Q_OBJECT
public:
    static constexpr int width = 206;

    Sidebar(AppStore& store, WorkspaceRouter& router, SelectionController& selection, OrvelNativeCoach& coach,
            QWidget* parent = nullptr);

    SwitchToggle* selectionSwitch() const { return switch_; }
    QPushButton* permissionHint() const { return permissionHint_; }
    OrvelNativeCoachTip* tip() const { return tip_; }
    const QList<SidebarRow*>& rows() const { return rows_; }
    SidebarRow* row(const QString& sourceTitle) const;

    void retranslate();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void showSelectionState();
    void showPage();
    void showTip();
    void switchToggled(bool on);

    AppStore& store_;
    WorkspaceRouter& router_;
    SelectionController& selection_;
    OrvelNativeCoach& coach_;

    QVBoxLayout* column_ = nullptr;
    QWidget* switchRow_ = nullptr;
    QLabel* brandName_ = nullptr;
    QLabel* switchLabel_ = nullptr;
    QLabel* switchSymbol_ = nullptr;
    SwitchToggle* switch_ = nullptr;
    OrvelNativeCoachTip* tip_ = nullptr;
    QPushButton* permissionHint_ = nullptr;
    QList<SidebarRow*> rows_;
};

}  // namespace velquin
