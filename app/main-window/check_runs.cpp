#include "app/main-window/check_runs.h"

#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QRect>
#include <QSize>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include <array>
#include <cstdio>
#include <optional>

#include "app/main-window/main_window.h"
#include "app/main-window/sheet_binding.h"
#include "app/shell/app_store.h"
#include "app/shell/window_system.h"
#include "app/shell/workspace_router.h"

namespace velquin {

namespace {

using Check = CheckRuns::Check;
using Page = WorkspaceRouter::Page;

constexpr int kSheetOpenMs = 500;
constexpr int kSheetVerdictMs = 1500;
constexpr int kWindowVerdictMs = 2000;
constexpr int kTutorOpenMs = 1000;
constexpr int kTutorVerdictMs = 1500;
constexpr int kTutorReturnMs = 400;
// The window's size after the coach page may differ by less than this from before and count as given back.
constexpr int kRestoreTolerance = 24;
// How far short of the largest coach frame a widened window may stay.
constexpr int kExpansionSlack = 20;

struct SheetRow {
    Check check;
    const char* argument;
    const char* stem;
    MainWindow::Sheet sheet;
};

// In the order the checks start.
constexpr std::array<SheetRow, 3> kSheetRows{{
    {Check::accountSheet, "--qa-smoke-account", "ORVEL_SMOKE_ACCOUNT_SHEET", MainWindow::Sheet::accountLogin},
    {Check::settingsSheet, "--qa-smoke-settings", "ORVEL_SMOKE_SETTINGS_SHEET", MainWindow::Sheet::settings},
    {Check::selectionSettingsSheet, "--qa-smoke-selection-settings", "ORVEL_SMOKE_SELECTION_SETTINGS_SHEET",
     MainWindow::Sheet::directSelectionSettings},
}};

const SheetRow& sheetRow(Check check) {
    for (const SheetRow& row : kSheetRows) {
        if (row.check == check) return row;
    }
    Q_UNREACHABLE();
}

void raise(AppStore& store, MainWindow::Sheet sheet) {
    switch (sheet) {
    case MainWindow::Sheet::accountLogin: store.setShowAccountLogin(true); break;
    case MainWindow::Sheet::settings: store.setShowSettings(true); break;
    default: store.setShowDirectSelectionSettings(true); break;
    }
}

QByteArray marker(const char* stem, bool ready) { return QByteArray(stem) + (ready ? "_READY\n" : "_FAILED\n"); }

// The shortest form that reads back as the same number, with at least one decimal digit.
QString decimal(double value) {
    QString text = QString::number(value, 'f', QLocale::FloatingPointShortest);
    if (!text.contains(u'.')) text += QStringLiteral(".0");
    return text;
}

QWidget* workspaceWindow() {
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->objectName() == workspaceWindowIdentifier) return window;
    }
    return nullptr;
}

// The tutor page widens the window towards its largest frame inside the screen's usable area; a
// screen too small for the coach page is not measured.
bool widenedForCoach(const QWidget* window) {
    if (!window) return false;
    const QRect frame = window->frameGeometry();
    const QScreen* screen = QGuiApplication::screenAt(frame.center());
    if (!screen) return false;
    const QRect area = screen->availableGeometry().adjusted(
        int(WorkspaceRouter::horizontalInset), int(WorkspaceRouter::verticalInset),
        -int(WorkspaceRouter::horizontalInset), -int(WorkspaceRouter::verticalInset));
    if (area.width() < WorkspaceRouter::smallestCoachWidth || area.height() < WorkspaceRouter::smallestCoachHeight)
        return true;
    return frame.width() >= qMin(area.width(), int(WorkspaceRouter::largestCoachWidth)) - kExpansionSlack &&
           frame.height() >= qMin(area.height(), int(WorkspaceRouter::largestCoachHeight)) - kExpansionSlack;
}

}  // namespace

QList<Check> CheckRuns::requested(const QStringList& arguments) {
    const QStringList given = arguments.mid(1);
    QList<Check> checks;
    for (const SheetRow& row : kSheetRows) {
        if (given.contains(QLatin1String(row.argument))) checks.append(row.check);
    }
    if (given.contains(QStringLiteral("--qa-smoke-merid"))) checks.append(Check::tutorPage);
    if (given.contains(QStringLiteral("--qa-smoke"))) checks.append(Check::homeHandOver);
    return checks;
}

CheckRuns::CheckRuns(QList<Check> checks, MainWindow& window, AppStore& store, WorkspaceRouter& router, Writer write,
                     QObject* parent)
    : QObject(parent),
      checks_(std::move(checks)),
      window_(window),
      store_(store),
      router_(router),
      write_(std::move(write)) {
    if (!write_) {
        write_ = [](const QByteArray& line) {
            std::fputs(line.constData(), stderr);
            std::fflush(stderr);
        };
    }
}

void CheckRuns::write(const QByteArray& line) { write_(line); }

void CheckRuns::start() {
    for (const Check check : checks_) {
        switch (check) {
        case Check::tutorPage: runTutorPageCheck(); break;
        case Check::homeHandOver: runHomeHandOverCheck(); break;
        default: runSheetCheck(check); break;
        }
    }
}

QList<QWidget*> CheckRuns::contentWindows() {
    QList<QWidget*> windows;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        // Panels are tool windows, sheets are dialogs; menus and tips are popups.
        if (window->isVisible() && window->windowType() == Qt::Window && !qobject_cast<QDialog*>(window))
            windows.append(window);
    }
    return windows;
}

bool CheckRuns::hasAttachedSheet(const QWidget* window) {
    for (QWidget* candidate : QApplication::topLevelWidgets()) {
        const auto* dialog = qobject_cast<QDialog*>(candidate);
        if (dialog && dialog->isVisible() && dialog->windowModality() != Qt::NonModal && dialog->parentWidget() &&
            dialog->parentWidget()->window() == window)
            return true;
    }
    return false;
}

QString CheckRuns::describe(const QWidget* window) {
    QString className = QString::fromLatin1(window->metaObject()->className());
    className = className.mid(className.lastIndexOf(u':') + 1);
    const QWidget* active = QApplication::activeWindow();
    const bool key = active == window;
    // The main window keeps its role while one of its sheets has the keyboard.
    const bool main = key || (active && active->parentWidget() && active->parentWidget()->window() == window);
    const QSize frame = window->frameGeometry().size();
    return QStringLiteral("%1 id=%2 title=%3 main=%4 key=%5 frame=(%6, %7)")
        .arg(className, window->objectName().isEmpty() ? QStringLiteral("none") : window->objectName(),
             window->windowTitle(), main ? QStringLiteral("true") : QStringLiteral("false"),
             key ? QStringLiteral("true") : QStringLiteral("false"), decimal(frame.width()), decimal(frame.height()));
}

void CheckRuns::runSheetCheck(Check check) {
    const SheetRow& row = sheetRow(check);
    QTimer::singleShot(kSheetOpenMs, this, [this, row] {
        raise(store_, row.sheet);
        QTimer::singleShot(kSheetVerdictMs, this, [this, row] {
            qsizetype withSheet = 0;
            for (const QWidget* window : contentWindows()) withSheet += hasAttachedSheet(window) ? 1 : 0;
            // The sheet on screen must be the one this check opened, not another that was up already.
            const QDialog* sheet = window_.sheet(row.sheet)->sheet();
            const bool ready = withSheet == 1 && router_.page() == Page::home && sheet && sheet->isVisible();
            write(marker(row.stem, ready));
        });
    });
}

void CheckRuns::runHomeHandOverCheck() {
    const QString source = QStringLiteral("Opportunity cost");
    const QString answer = QStringLiteral("The next best alternative.");
    store_.stageInLessonary(source, tamsel::StudyMode::explain,
                            tamsel::ModelAnswer{answer, std::nullopt, std::nullopt, std::nullopt},
                            QStringLiteral("QA memory only"));
    const bool staged = store_.source() == source && store_.answer() && store_.answer()->text == answer &&
                        !store_.isBusy() && !store_.selectionPresentation();
    write(marker("ORVEL_SMOKE_LESSONARY_HANDOFF", staged));
    QTimer::singleShot(kWindowVerdictMs, this, [this] {
        write(contentWindows().isEmpty() ? "ORVEL_SMOKE_NO_WINDOW\n" : "ORVEL_SMOKE_WINDOW_READY\n");
    });
}

void CheckRuns::runTutorPageCheck() {
    store_.stageInLessonary(QStringLiteral("Opportunity cost is the next-best alternative."),
                            tamsel::StudyMode::explain, std::nullopt, QStringLiteral("QA in-memory"));
    store_.stageCurrentSourceForTutor();
    // The main window carries the workspace identifier from its creation on.
    const QPointer<QWidget> workspace = workspaceWindow();

    QTimer::singleShot(kTutorOpenMs, this, [this, workspace] {
        // The size to come back to is the one the coach page is opened from, taken as the one after
        // it is: the client area, without the window manager's frame. Just after the window is first
        // shown it is not yet framed, and it is fitted to the screen again once it is (a window as
        // tall as a laptop's screen loses the height of its title bar then).
        std::optional<QSize> startingSize;
        if (workspace) startingSize = workspace->geometry().size();
        router_.open(Page::coach);
        QTimer::singleShot(kTutorVerdictMs, this, [this, startingSize] {
            const QList<QWidget*> windows = contentWindows();
            QStringList descriptions;
            for (const QWidget* window : windows) descriptions.append(describe(window));
            write(QStringLiteral("ORVEL_QA_MERID_PAGE_%1 COUNT_%2 WINDOWS_%3\n")
                      .arg(base::rawValue(router_.page()))
                      .arg(windows.size())
                      .arg(descriptions.join(QStringLiteral(" || ")))
                      .toUtf8());
            const bool inline_ = windows.size() == 1 && router_.page() == Page::coach;
            write(marker("ORVEL_SMOKE_MERID_INLINE", inline_));
            write(marker("ORVEL_SMOKE_MERID_EXPANDED", widenedForCoach(windows.value(0))));
            write(marker("ORVEL_SMOKE_MERID_HANDOFF", inline_ && !store_.tutorHandoffSource()));

            const QPointer<QWidget> remembered = windows.value(0);
            router_.returnHome();
            QTimer::singleShot(kTutorReturnMs, this, [this, startingSize, remembered] {
                const QList<QWidget*> after = contentWindows();
                write(marker("ORVEL_SMOKE_MERID_RETURN_HOME",
                             after.size() == 1 && remembered && after.first() == remembered.data() &&
                                 router_.page() == Page::home));
                bool restored = false;
                if (startingSize && !after.isEmpty()) {
                    const QSize now = after.first()->geometry().size();
                    restored = qAbs(now.width() - startingSize->width()) < kRestoreTolerance &&
                               qAbs(now.height() - startingSize->height()) < kRestoreTolerance;
                }
                write(marker("ORVEL_SMOKE_MERID_RESTORE_SIZE", restored));
            });
        });
    });
}

}  // namespace velquin
