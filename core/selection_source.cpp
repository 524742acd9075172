#include "core/selection_source.h"

#include "base/text.h"

namespace tamsel {

std::optional<SelectionSourceResolution> SelectionEventSource::resolve(qint32 /*ownPID*/) const {
    if (frontmostPID && *frontmostPID > 0)
        return SelectionSourceResolution{*frontmostPID, QStringLiteral("回调时前台应用")};
    if (focusedPID && *focusedPID > 0) return SelectionSourceResolution{*focusedPID, QStringLiteral("AX 焦点应用")};
    return std::nullopt;
}

QString message(SelectionSourceBlock block) {
    switch (block) {
    case SelectionSourceBlock::ownApplication: return QStringLiteral("来源是 Orvel 自身，不读取自己的窗口。");
    case SelectionSourceBlock::terminated: return QStringLiteral("来源应用已经退出。");
    case SelectionSourceBlock::systemApplication: return QStringLiteral("来源是系统界面，不读取其中的选区。");
    case SelectionSourceBlock::nonTextApplication: return QStringLiteral("文件管理器的文件和桌面选择不触发自动划词。");
    case SelectionSourceBlock::protectedApplication: return QStringLiteral("来源应用不支持 Orvel 自动划词。");
    case SelectionSourceBlock::browsersDisabled:
        return QStringLiteral("浏览器划词已关闭。请在划词设置中开启“在浏览器中启用划词”。");
    }
    return {};
}

const QStringList& SelectionSourcePolicy::systemApplications() {
    static const QStringList list{
        QStringLiteral("com.apple.loginwindow"),   QStringLiteral("com.apple.securityagent"),
        QStringLiteral("com.apple.systemuiserver"), QStringLiteral("com.apple.controlcenter"),
        QStringLiteral("com.apple.dock"),           QStringLiteral("com.apple.notificationcenterui"),
        // Shells, panels, lock screens and log-in screens of the Linux desktops.
        QStringLiteral("gnome-shell"),     QStringLiteral("org.gnome.shell"),  QStringLiteral("plasmashell"),
        QStringLiteral("org.kde.plasmashell"), QStringLiteral("xfce4-panel"), QStringLiteral("xfdesktop"),
        QStringLiteral("lxpanel"),         QStringLiteral("mate-panel"),       QStringLiteral("cinnamon"),
        QStringLiteral("gnome-screensaver"), QStringLiteral("xscreensaver"),   QStringLiteral("light-locker"),
        QStringLiteral("xfce4-screensaver"), QStringLiteral("gdm"),            QStringLiteral("lightdm"),
    };
    return list;
}

const QStringList& SelectionSourcePolicy::browsers() {
    static const QStringList list{
        QStringLiteral("com.apple.safari"),
        QStringLiteral("com.apple.safaritechnologypreview"),
        QStringLiteral("com.google.chrome"),
        QStringLiteral("com.google.chrome.beta"),
        QStringLiteral("com.google.chrome.dev"),
        QStringLiteral("com.google.chrome.canary"),
        QStringLiteral("org.chromium.chromium"),
        QStringLiteral("com.microsoft.edgemac"),
        QStringLiteral("com.microsoft.edgemac.beta"),
        QStringLiteral("com.microsoft.edgemac.dev"),
        QStringLiteral("com.microsoft.edgemac.canary"),
        QStringLiteral("org.mozilla.firefox"),
        QStringLiteral("org.mozilla.firefoxdeveloperedition"),
        QStringLiteral("org.mozilla.nightly"),
        QStringLiteral("com.brave.browser"),
        QStringLiteral("com.brave.browser.beta"),
        QStringLiteral("com.brave.browser.nightly"),
        QStringLiteral("company.thebrowser.browser"),
        QStringLiteral("com.vivaldi.vivaldi"),
        QStringLiteral("com.operasoftware.opera"),
        QStringLiteral("com.operasoftware.operagx"),
        // The same browsers as Linux desktop files name them.
        QStringLiteral("firefox"),
        QStringLiteral("firefox-esr"),
        QStringLiteral("chromium"),
        QStringLiteral("chromium-browser"),
        QStringLiteral("google-chrome"),
        QStringLiteral("google-chrome-beta"),
        QStringLiteral("google-chrome-unstable"),
        QStringLiteral("microsoft-edge"),
        QStringLiteral("microsoft-edge-beta"),
        QStringLiteral("microsoft-edge-dev"),
        QStringLiteral("brave-browser"),
        QStringLiteral("vivaldi-stable"),
        QStringLiteral("opera"),
        QStringLiteral("org.gnome.epiphany"),
        QStringLiteral("epiphany"),
    };
    return list;
}

const QStringList& SelectionSourcePolicy::fileManagers() {
    static const QStringList list{
        QStringLiteral("com.apple.finder"), QStringLiteral("org.gnome.nautilus"), QStringLiteral("nautilus"),
        QStringLiteral("thunar"),           QStringLiteral("org.xfce.thunar"),    QStringLiteral("org.kde.dolphin"),
        QStringLiteral("dolphin"),          QStringLiteral("pcmanfm"),            QStringLiteral("pcmanfm-qt"),
        QStringLiteral("nemo"),             QStringLiteral("caja"),
    };
    return list;
}

const QStringList& SelectionSourcePolicy::lockDownWords() {
    static const QStringList list{QStringLiteral("respondus"), QStringLiteral("lockdown")};
    return list;
}

bool SelectionSourcePolicy::loadBrowserPreference(base::DefaultsStore& store) {
    if (!store.contains(browserPreferenceKey)) store.setBool(browserPreferenceKey, true);
    store.remove(legacyBrowserKey);
    return store.boolean(browserPreferenceKey);
}

bool SelectionSourcePolicy::isBrowser(const QString& identifier) {
    return browsers().contains(base::text::lower(identifier));
}

std::optional<SelectionSourceBlock> SelectionSourcePolicy::blockReason(const QString& identifier, const QString& name,
                                                                       bool isOwnApplication, bool isTerminated,
                                                                       bool includeBrowsers) {
    if (isOwnApplication) return SelectionSourceBlock::ownApplication;
    if (isTerminated) return SelectionSourceBlock::terminated;
    const QString lowered = base::text::lower(identifier);
    if (systemApplications().contains(lowered)) return SelectionSourceBlock::systemApplication;
    if (fileManagers().contains(lowered)) return SelectionSourceBlock::nonTextApplication;
    const QString haystack = base::text::lower(name + QLatin1Char(' ') + lowered);
    for (const QString& word : lockDownWords())
        if (haystack.contains(word)) return SelectionSourceBlock::protectedApplication;
    if (!includeBrowsers && browsers().contains(lowered)) return SelectionSourceBlock::browsersDisabled;
    return std::nullopt;
}

}  // namespace tamsel
