#include "app/shell/file_chooser.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QGridLayout>
#include <QIdentityProxyModel>
#include <QLabel>
#include <QLocale>
#include <QStandardPaths>

#include "app/shell/qt_window_system.h"
#include "app/shell/ui_strings.h"

namespace velquin {

namespace {

// The dialog's file list in the interface language where Qt falls short: Debian's Qt 6.4 catalogues
// lack the type of a folder ("Folder"), and Qt writes sizes and dates in the system's locale
// rather than the interface's.
class InterfaceFileList : public QIdentityProxyModel {
public:
    using QIdentityProxyModel::QIdentityProxyModel;

    QVariant data(const QModelIndex& index, int role) const override {
        const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel());
        if (role != Qt::DisplayRole || !files || !index.isValid()) return QIdentityProxyModel::data(index, role);
        const QModelIndex file = mapToSource(index);
        switch (index.column()) {
        case sizeColumn:
            if (!files->isDir(file)) return QLocale().formattedDataSize(files->size(file));
            break;
        case typeColumn:
            if (files->isDir(file))
                return UIStrings::choose(QStringLiteral("文件夹"), QStringLiteral("Folder"), QStringLiteral("Dossier"));
            break;
        case dateColumn: return QLocale().toString(files->lastModified(file), QLocale::ShortFormat);
        }
        return QIdentityProxyModel::data(index, role);
    }

private:
    // QFileSystemModel's columns.
    static constexpr int sizeColumn = 1;
    static constexpr int typeColumn = 2;
    static constexpr int dateColumn = 3;
};

QWidget* parentWindow(QWidget* window) {
    if (window) return window;
    if (QWidget* active = QApplication::activeWindow()) return active;
    const auto main = window_rules::mainWorkspaceWindow(QtWindowSystem::shared()->windows());
    return main ? QtWindowSystem::widget(main->id) : nullptr;
}

// Opens a window-modal dialog in the user's documents folder that deletes itself when it ends and
// hands a chosen file to `chosen`.
void openDialog(QWidget* window, const FileChooser::Request& request, QFileDialog::AcceptMode mode,
                std::function<void(const QUrl&)> chosen) {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty() || !QDir(folder).exists()) folder = QDir::homePath();
    auto* dialog = new QFileDialog(parentWindow(window), request.title, folder);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setProxyModel(new InterfaceFileList(dialog));
    dialog->setAcceptMode(mode);
    dialog->setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    if (!request.patterns.isEmpty())
        dialog->setNameFilter(request.patternsTitle + QStringLiteral(" (") + request.patterns.join(u' ') + u')');
    dialog->setDefaultSuffix(request.defaultSuffix);
    if (!request.fileName.isEmpty()) dialog->selectFile(request.fileName);
    dialog->setWindowModality(Qt::WindowModal);
    // The dialog has no place for a message of its own: it goes below the file list.
    if (!request.message.isEmpty()) {
        if (auto* grid = qobject_cast<QGridLayout*>(dialog->layout())) {
            auto* message = new QLabel(request.message, dialog);
            message->setTextFormat(Qt::PlainText);
            message->setWordWrap(true);
            grid->addWidget(message, grid->rowCount(), 0, 1, grid->columnCount());
        }
    }
    QObject::connect(dialog, &QFileDialog::fileSelected, dialog, [chosen = std::move(chosen)](const QString& file) {
        if (!file.isEmpty()) chosen(QUrl::fromLocalFile(file));
    });
    dialog->open();
}

}  // namespace

FileChooser::~FileChooser() = default;

std::shared_ptr<FileChooser> QtFileChooser::shared() {
    static const auto instance = std::make_shared<QtFileChooser>();
    return instance;
}

void QtFileChooser::chooseFileToOpen(QWidget* window, const Request& request,
                                     std::function<void(const QUrl&)> chosen) {
    openDialog(window, request, QFileDialog::AcceptOpen, std::move(chosen));
}

void QtFileChooser::chooseSaveLocation(QWidget* window, const Request& request,
                                       std::function<void(const QUrl&)> chosen) {
    openDialog(window, request, QFileDialog::AcceptSave, std::move(chosen));
}

}  // namespace velquin
