// The status item as an icon in the desktop's tray (StatusNotifierItem or XEmbed) with a menu.
#include <QCursor>
#include <QIcon>
#include <QMenu>
#include <QPointer>
#include <QSystemTrayIcon>

#include "app/select-anywhere/selection_services.h"
#include "app/shell/orvel_brand.h"

namespace velquin {

namespace {

class TraySelectionStatusItem : public SelectionStatusItem {
public:
    ~TraySelectionStatusItem() override { remove(); }

    void show() override {
        if (icon_) return;
        icon_ = std::make_unique<QSystemTrayIcon>();
        icon_->setIcon(OrvelBrand::icon().value_or(QIcon::fromTheme(QStringLiteral("edit-select-all"))));
        // A left click opens the same menu as the right one.
        QObject::connect(icon_.get(), &QSystemTrayIcon::activated, icon_.get(),
                         [this](QSystemTrayIcon::ActivationReason reason) {
                             if (reason == QSystemTrayIcon::Trigger && menu_ && !menu_->isVisible())
                                 menu_->popup(QCursor::pos());
                         });
        icon_->show();
    }

    void remove() override {
        icon_.reset();
        release(std::exchange(menu_, nullptr));
    }

    bool isShown() const override { return bool(icon_); }

    bool isAvailable() const override { return icon_ && QSystemTrayIcon::isSystemTrayAvailable(); }

    void setToolTip(const QString& text) override {
        if (icon_) icon_->setToolTip(text);
    }

    void setMenu(const QList<SelectionMenuEntry>& entries) override {
        if (!icon_) return;
        auto* menu = new QMenu;
        for (const SelectionMenuEntry& entry : entries) {
            if (entry.isSeparator()) {
                menu->addSeparator();
                continue;
            }
            QAction* action = menu->addAction(entry.title);
            action->setEnabled(entry.enabled);
            if (entry.action) QObject::connect(action, &QAction::triggered, action, entry.action);
        }
        icon_->setContextMenu(menu);
        release(std::exchange(menu_, menu));
    }

private:
    // A menu that is open stays until it closes; the new one shows at the next opening.
    static void release(QMenu* menu) {
        if (!menu) return;
        if (menu->isVisible()) QObject::connect(menu, &QMenu::aboutToHide, menu, &QObject::deleteLater);
        else menu->deleteLater();
    }

    std::unique_ptr<QSystemTrayIcon> icon_;
    QMenu* menu_ = nullptr;
};

}  // namespace

std::shared_ptr<SelectionStatusItem> makeTraySelectionStatusItem() { return std::make_shared<TraySelectionStatusItem>(); }

}  // namespace velquin
