#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>
#include <memory>

class QWidget;

namespace velquin {

// The desktop's dialog for choosing a file to open. It is window-modal on the given window and
// never blocks: the call returns at once and `chosen` runs later on the main thread, once, only
// when the user chose a file. Tests answer it with a double.
class FileChooser {
public:
    struct Request {
        QString title;
        QString message;
        // Name patterns of the files that can be chosen ("*.pdf").
        QStringList patterns;
        QString patternsTitle;  // how the dialog names those files
    };

    virtual ~FileChooser();
    virtual void chooseFileToOpen(QWidget* window, const Request& request, std::function<void(const QUrl&)> chosen) = 0;
};

// The dialog of Qt's own widgets, opened with open().
class QtFileChooser : public FileChooser {
public:
    static std::shared_ptr<FileChooser> shared();

    void chooseFileToOpen(QWidget* window, const Request& request, std::function<void(const QUrl&)> chosen) override;
};

}  // namespace velquin
