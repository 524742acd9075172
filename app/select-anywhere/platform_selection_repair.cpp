// The production repair of select-anywhere's access over the platform's AccessibilityRepair.
#include <QCoreApplication>
#include <QProcess>
#include <QStandardPaths>

#include "app/select-anywhere/selection_services.h"
#include "platform/accessibility_repair.h"
#include "platform/selected_text_reader.h"

namespace velquin {

SelectionRepair::~SelectionRepair() = default;

namespace {

using halvern::AccessibilityRepair;

class PlatformSelectionRepair : public SelectionRepair {
public:
    bool requestAuthorization() override { return halvern::SelectedTextReader::requestAuthorization(); }
    void openPermissionSettings() override { AccessibilityRepair::openPermissionSettings(); }
    void revealRunningCopy() override { AccessibilityRepair::revealRunningCopy(); }
    bool isInstalledCopy() override { return AccessibilityRepair::isInstalledCopy(); }
    QString runningPath() override { return AccessibilityRepair::RunningCopy::current().executablePath; }
    void resetOwnAuthorization() override { AccessibilityRepair::resetOwnAuthorization(); }
    void restartInstalledCopy() override { AccessibilityRepair::restartInstalledCopy(); }
    void terminate() override { QCoreApplication::quit(); }

    void openTextDocument(const QString& path) override {
        // The desktop's handler of text files; the editor outlives this program.
        const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
        QProcess process;
        process.setProgram(opener.isEmpty() ? QStringLiteral("xdg-open") : opener);
        process.setArguments({path});
        process.setStandardInputFile(QProcess::nullDevice());
        process.setStandardOutputFile(QProcess::nullDevice());
        process.setStandardErrorFile(QProcess::nullDevice());
        if (!process.startDetached()) throw base::SystemError(process.errorString());
    }
};

}  // namespace

std::shared_ptr<SelectionRepair> makePlatformSelectionRepair() { return std::make_shared<PlatformSelectionRepair>(); }

}  // namespace velquin
