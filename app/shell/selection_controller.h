#pragma once

#include <QObject>

#include <memory>

namespace halvern {
struct SelectionRequest;
struct RefusedSelection;
}

namespace velquin {

class AppStore;
class WindowSystem;

// What the launch sequence, the menus and the main window ask of select-anywhere's controller.
// The select-anywhere area derives its controller from this class and hands it to the application
// (OrvelApp::Parts::selectionController); until then WindowOnlySelectionController stands in.
// Main thread only.
class SelectionController : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~SelectionController() override;

    // Called once, on a turn of the event loop after launching; never in a check mode, in the
    // import check or in a copy that handed its launch over.
    virtual void start() = 0;
    // Called at termination, before the store's running work is cancelled.
    virtual void stop() = 0;
    // Called each time the application becomes active.
    virtual void refreshAuthorization() = 0;
    // A later launch that asks for nothing else: brings the main window back.
    virtual void handleReopen() = 0;
    // Brings the main window forward with the select-anywhere settings sheet (menu item, the
    // "direct" URL, first setup and "--setup").
    virtual void openDirectSettings() = 0;
    // A request that came in through the D-Bus selection entry.
    virtual void receiveServiceSelection(const halvern::SelectionRequest& request) = 0;
    // The study-selection command found nothing it may hand over: the person is told why, in the
    // answer panel of the mode the command asked for.
    virtual void receiveSelectionRefusal(const halvern::RefusedSelection& refused) = 0;
    // Whether a selection is being shown, as the icon or as an answer.
    virtual bool hasSelectionPresentation() const = 0;

    // The automatic-selection switch and the accessibility trust, as the sidebar shows and sets them.
    virtual bool isEnabled() const = 0;
    virtual bool authorizationTrusted() const = 0;
    virtual void setEnabled(bool enabled) = 0;
    // Whether the person sees the program's icon in the desktop's tray now; the desktop may have no
    // tray at all, and one may come and go while the program runs.
    virtual bool statusItemReachable() const { return false; }

    // What closing the main window does. With the icon in the tray, the window only hides. Without
    // it nothing shows that the program runs: it keeps running only while automatic selection is
    // on, and says so (and how to come back and to end it) the first time the window closes.
    enum class WindowClose { hide, explainThenHide, quit };
    static WindowClose windowClose(bool statusItemReachable, bool automaticSelection, bool explained);
    // What follows when what a hand-over (the study-selection command, the bus's entry) showed has
    // gone while no window of the program shows. With the icon in the tray, nothing. Without it, a
    // copy the hand-over started ends; a running copy brings back the window the hand-over hid while
    // automatic selection is off, and with it on runs on as after closing the window: saying so, with
    // the window back, the first time in a run.
    enum class HandOverEnd { stay, showWindow, explainThenHide, quit };
    static HandOverEnd handOverEnd(bool statusItemReachable, bool startedForHandOver, bool automaticSelection,
                                   bool explained);

Q_SIGNALS:
    // Emitted after the value changed.
    void isEnabledChanged(bool enabled);
    void authorizationTrustedChanged(bool trusted);
    void statusItemReachableChanged(bool reachable);
    // What a hand-over showed has gone: its panel closed, and whatever took the panel's place.
    void handOverEnded();
};

// The controller of a program built without select-anywhere: automatic selection stays off and
// nothing is read, but the ways back into the main window work.
class WindowOnlySelectionController : public SelectionController {
    Q_OBJECT
public:
    WindowOnlySelectionController(AppStore& store, std::shared_ptr<WindowSystem> windows, QObject* parent = nullptr);

    void start() override {}
    void stop() override {}
    void refreshAuthorization() override {}
    void handleReopen() override { openWorkspace(); }
    void openDirectSettings() override;
    void receiveServiceSelection(const halvern::SelectionRequest&) override {}
    void receiveSelectionRefusal(const halvern::RefusedSelection&) override {}
    bool hasSelectionPresentation() const override { return false; }
    bool isEnabled() const override { return false; }
    bool authorizationTrusted() const override { return false; }
    void setEnabled(bool) override {}

private:
    void openWorkspace();

    AppStore& store_;
    std::shared_ptr<WindowSystem> windows_;
};

}  // namespace velquin
