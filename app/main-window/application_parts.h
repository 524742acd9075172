#pragma once

#include <QDialog>
#include <QWidget>

#include <functional>

#include "app/main-window/coach_page.h"
#include "app/shell/headless_import_check.h"

namespace velquin {

class AppStore;
class SelectionController;
struct PDFChoice;

// What the application's other areas contribute to the running program. app/main.cpp fills it;
// a member left empty is a part not built yet: its sheet stays closed (the store flag is left as
// it is), its view shows an empty frame, its hook does nothing.
struct ApplicationParts {
    // A sheet of the main window, made anew each time its store flag is raised and deleted once
    // it has closed. Closing it by any route clears the flag.
    using SheetFactory = std::function<QDialog*(AppStore& store, QWidget* parent)>;

    // Select-anywhere's controller, made once at start-up before the main window; without one,
    // WindowOnlySelectionController stands in.
    std::function<SelectionController*(AppStore& store)> selectionController;
    // The compact selection answer shown in place of the pages while the store's
    // selectionPresentation() is set.
    std::function<QWidget*(AppStore& store, QWidget* parent)> selectionView;

    // The five sheets, in the order they are attached to the main window.
    SheetFactory settingsSheet;                 // showSettings
    SheetFactory privacyConsentSheet;           // showPrivacyConsent
    SheetFactory accountSheet;                  // showAccountLogin
    SheetFactory captureGuideSheet;             // showCaptureGuide
    SheetFactory directSelectionSettingsSheet;  // showDirectSelectionSettings
    // The PDF page-range sheet, shown while the store's pdfChoice() is set; closing it by any
    // route discards the pending PDF.
    std::function<QDialog*(AppStore& store, const PDFChoice& choice, QWidget* parent)> pdfRangeSheet;

    // The tutor's screen below the coach page's header bar.
    CoachPage::HostFactory coachHost;
    // Called each time the main view comes on screen: refreshes a signed-in account.
    std::function<void()> refreshSignedInAccount;
    // The tutor's import of course material, for the import check.
    TutorMaterialImport tutorImport;
};

}  // namespace velquin
