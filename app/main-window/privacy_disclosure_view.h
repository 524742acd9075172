#pragma once

#include <QDialog>
#include <QList>
#include <QSize>

class QLabel;
class QPushButton;
class QScrollArea;

namespace velquin {

// The full privacy notice: titled sections in a scrolling area under a fixed header with a close
// button (Escape closes it too). It reads and writes nothing. The sections are Chinese in every
// interface language; the title, the close button and the closing note follow the language.
class PrivacyDisclosureView : public QDialog {
    Q_OBJECT
public:
    static constexpr QSize minimum{520, 460};
    static constexpr QSize ideal{650, 590};

    explicit PrivacyDisclosureView(QWidget* parent = nullptr);

    QPushButton* closeButton() const { return close_; }
    QScrollArea* scrollArea() const { return scroll_; }
    const QList<QLabel*>& headings() const { return headings_; }
    const QList<QLabel*>& bodies() const { return bodies_; }

    void retranslate();

private:
    void restyle();

    QLabel* symbol_ = nullptr;
    QLabel* title_ = nullptr;
    QPushButton* close_ = nullptr;
    QScrollArea* scroll_ = nullptr;
    QList<QLabel*> headings_;
    QList<QLabel*> bodies_;
    QLabel* closingNote_ = nullptr;
};

}  // namespace velquin
