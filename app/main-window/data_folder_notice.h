#pragma once

#include <QMessageBox>

#include "app/shell/data_folder_lock.h"

namespace velquin {

// What a launch shows instead of its window when another copy of Orvel, in another desktop session
// or on another machine sharing the home folder, uses the data folder: that this copy does not
// open, why, and which copy it is. In the interface language; closing it ends the launch.
class DataFolderInUseNotice : public QMessageBox {
    Q_OBJECT
public:
    explicit DataFolderInUseNotice(const DataFolderLock::Holder& holder, QWidget* parent = nullptr);
};

}  // namespace velquin
