#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <memory>

class QWidget;

namespace velquin {

// The desktop's dialogs for choosing a file to open or a place to save one. Each is window-modal on
// the given window (without one, on the active window or else the main window) and never blocks:
// the call returns at once and `chosen` runs later on the main thread, once, only when the user
// chose a file. Tests answer it with a double.
class FileChooser {
public:
    struct Request {
        QString title;
        QString message;
        // Name patterns of the files that can be chosen ("*.pdf").
        QStringList patterns;
        QString patternsTitle;  // how the dialog names those files
        // Saving: the name proposed in the user's documents folder, and the extension a name typed
        // without one gets.
        QString fileName;
        QString defaultSuffix;
    };

    virtual ~FileChooser();
    // One existing file; folders cannot be chosen.
    virtual void chooseFileToOpen(QWidget* window, const Request& request, std::function<void(const QUrl&)> chosen) = 0;
    // A file to write, new or existing (the dialog asks before an existing file is replaced).
    virtual void chooseSaveLocation(QWidget* window, const Request& request,
                                    std::function<void(const QUrl&)> chosen) = 0;
};

// The dialogs of Qt's own widgets, opened with open().
class QtFileChooser : public FileChooser {
public:
    static std::shared_ptr<FileChooser> shared();

    void chooseFileToOpen(QWidget* window, const Request& request, std::function<void(const QUrl&)> chosen) override;
    void chooseSaveLocation(QWidget* window, const Request& request, std::function<void(const QUrl&)> chosen) override;
};

}  // namespace velquin
