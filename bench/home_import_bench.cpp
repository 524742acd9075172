// Importing a 20-page text PDF on the home page as a student does it: the import item, the file
// dialog's answer, the page-range sheet set to pages 1 to 20 and its "提取文字", until the text is
// in the input card's editor. Staging the copy, counting the pages and extracting the text all run
// as in the program (away from the main thread). Compare BM_HomePageImportPdf with
// BM_PdftotextCommand, which reads the same pages of the same file.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include "app/account/history_store.h"
#include "app/main-window/application_parts.h"
#include "app/main-window/home_page.h"
#include "app/main-window/home_page_sheets.h"
#include "app/main-window/input_card.h"
#include "app/main-window/sheet_binding.h"
#include "app/shell/app_store.h"
#include "app/shell/file_chooser.h"
#include "app/shell/orvel_native_coach.h"
#include "app/shell/qt_window_system.h"
#include "app/shell/workspace_router.h"
#include "base/defaults_store.h"
#include "base/work_scheduler.h"
#include "bench/twenty_page_pdf.h"

namespace {

using namespace velquin;

QString g_pdf;

// The file dialog, answered at once with the benchmark's document.
class AnsweringChooser : public FileChooser {
public:
    void chooseFileToOpen(QWidget*, const Request&, std::function<void(const QUrl&)> chosen) override {
        chosen(QUrl::fromLocalFile(g_pdf));
    }
    void chooseSaveLocation(QWidget*, const Request&, std::function<void(const QUrl&)>) override {}
};

// Runs the event loop, sleeping while nothing happens, until `condition` holds; false after 30 s.
template <typename Condition>
bool spinUntil(Condition condition) {
    QElapsedTimer clock;
    clock.start();
    QTimer wake;  // so that the time limit is looked at even when nothing else happens
    wake.start(200);
    while (!condition()) {
        if (clock.elapsed() > 30000) return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

void BM_HomePageImportPdf(benchmark::State& state) {
    QTemporaryDir folder;
    base::DefaultsStore defaults(folder.filePath(QStringLiteral("defaults.json")));
    HistoryStore history(HistoryStore::Options{folder.filePath(QStringLiteral("data")), {}});
    AppStoreServices services;
    services.defaults = &defaults;
    services.history = &history;
    AppStore store(services);
    WorkspaceRouter router(QtWindowSystem::shared(), std::make_shared<base::QtWorkScheduler>(), [] { return false; });
    OrvelNativeCoach coach(defaults);

    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* page = new HomePage(store, router, coach, std::make_shared<AnsweringChooser>(), &window);
    layout->addWidget(page);
    // The page-range sheet as the main window presents it.
    ApplicationParts parts;
    addHomePageSheets(parts);
    SheetBinding sheet(
        &window, [&] { return store.pdfChoice().has_value(); }, [&] { store.discardPendingPDF(); },
        [&](QWidget* parent) { return parts.pdfRangeSheet(store, *store.pdfChoice(), parent); });
    QObject::connect(&store, &AppStore::pdfChoiceChanged, &sheet, &SheetBinding::update);
    window.resize(1040, 800);
    window.show();
    QPlainTextEdit* editor = page->inputCard()->editor();

    for (auto _ : state) {
        page->inputCard()->importFileAction()->trigger();
        if (!spinUntil([&] { return sheet.sheet() != nullptr; })) {
            state.SkipWithError("no page-range sheet");
            break;
        }
        auto* range = static_cast<PDFRangeView*>(sheet.sheet());
        range->lastField()->setText(QStringLiteral("20"));
        range->importButton()->click();
        if (!spinUntil([&] { return !store.isBusy() && editor->toPlainText().contains(QStringLiteral("Page 20,")); })) {
            state.SkipWithError("the text did not arrive");
            break;
        }
        state.PauseTiming();
        store.clear();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        state.ResumeTiming();
    }
}
BENCHMARK(BM_HomePageImportPdf)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_PdftotextCommand(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(benchdata::pdftotextTwentyPages(g_pdf));
}
BENCHMARK(BM_PdftotextCommand)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    g_pdf = dir.filePath(QStringLiteral("twenty-pages.pdf"));
    benchdata::writeTwentyPagePdf(g_pdf);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
