#pragma once

#include <QWidget>

class QComboBox;
class QLabel;

namespace velquin {

// The interface-language choice embedded in the settings sheets: a titled list of the languages
// bound to the shared settings, and a caption beneath. Choosing a row takes effect at once.
class InterfaceLanguagePicker : public QWidget {
    Q_OBJECT
public:
    explicit InterfaceLanguagePicker(QWidget* parent = nullptr);

    QComboBox* picker() const { return picker_; }

    void retranslate();

private:

    QLabel* title_ = nullptr;
    QComboBox* picker_ = nullptr;
    QLabel* caption_ = nullptr;
};

}  // namespace velquin
