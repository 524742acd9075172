#include "app/main-window/file_chooser.h"

#include <QDir>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QStandardPaths>

namespace velquin {

FileChooser::~FileChooser() = default;

std::shared_ptr<FileChooser> QtFileChooser::shared() {
    static const auto instance = std::make_shared<QtFileChooser>();
    return instance;
}

void QtFileChooser::chooseFileToOpen(QWidget* window, const Request& request,
                                     std::function<void(const QUrl&)> chosen) {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (folder.isEmpty() || !QDir(folder).exists()) folder = QDir::homePath();
    auto* dialog = new QFileDialog(window, request.title, folder);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setAcceptMode(QFileDialog::AcceptOpen);
    dialog->setFileMode(QFileDialog::ExistingFile);
    dialog->setNameFilter(request.patternsTitle + QStringLiteral(" (") + request.patterns.join(u' ') + u')');
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
    QObject::connect(dialog, &QFileDialog::fileSelected, dialog, [chosen](const QString& file) {
        if (!file.isEmpty()) chosen(QUrl::fromLocalFile(file));
    });
    dialog->open();
}

}  // namespace velquin
