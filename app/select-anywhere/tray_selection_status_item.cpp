// The status item as an icon in the desktop's tray (StatusNotifierItem or XEmbed) with a menu.
#include <QApplication>
#include <QCursor>
#include <QIcon>
#include <QMenu>
#include <QPointer>
#include <QSystemTrayIcon>

#include "app/select-anywhere/selection_services.h"
#include "app/shell/orvel_brand.h"
#include "app/shell/ui_strings.h"

namespace velquin {

namespace {

class TraySelectionStatusItem : public SelectionStatusItem {
public:
    ~TraySelectionStatusItem() override { remove(); }

    void show() override {
        if (icon_) return;
        icon_ = std::make_unique<QSystemTrayIcon>();
        const std::optional<QIcon> brand = OrvelBrand::icon();
        fallback_ = !brand;
        icon_->setIcon(brand.value_or(QIcon::fromTheme(QStringLiteral("edit-select-all"))));
        // A left click opens the same menu as the right one.
        QObject::connect(icon_.get(), &QSystemTrayIcon::activated, icon_.get(),
                         [this](QSystemTrayIcon::ActivationReason reason) {
                             if (reason == QSystemTrayIcon::Trigger && menu_ && !menu_->isVisible())
                                 menu_->popup(QCursor::pos());
                         });
        icon_->show();
        describeFallback();
    }

    void remove() override {
        icon_.reset();
        release(std::exchange(menu_, nullptr));
    }

    bool isShown() const override { return bool(icon_); }

    bool isAvailable() const override { return icon_ && QSystemTrayIcon::isSystemTrayAvailable(); }

    void setToolTip(const QString& text) override {
        if (!icon_) return;
        icon_->setToolTip(text);
        // The tooltip follows the interface language, and so does the fallback's description.
        describeFallback();
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
    // The theme's picture says nothing of Orvel, so it carries a description. A tray icon has no
    // accessible name of its own: over StatusNotifierItem the host names the item after the
    // application and shows its tooltip; under an XEmbed tray the icon is a window of this process
    // (made by Qt when the icon is shown), which screen readers reach over AT-SPI, and it takes the
    // description as its name there.
    void describeFallback() const {
        if (!fallback_) return;
        for (QWidget* window : QApplication::topLevelWidgets()) {
            if (window->objectName() == QLatin1String("QSystemTrayIconSys"))
                window->setAccessibleName(UIStrings::text(QStringLiteral("Orvel 直接划词")));
        }
    }

    // A menu that is open stays until it closes; the new one shows at the next opening.
    static void release(QMenu* menu) {
        if (!menu) return;
        if (menu->isVisible()) QObject::connect(menu, &QMenu::aboutToHide, menu, &QObject::deleteLater);
        else menu->deleteLater();
    }

    std::unique_ptr<QSystemTrayIcon> icon_;
    bool fallback_ = false;
    QMenu* menu_ = nullptr;
};

}  // namespace

std::shared_ptr<SelectionStatusItem> makeTraySelectionStatusItem() { return std::make_shared<TraySelectionStatusItem>(); }

}  // namespace velquin
