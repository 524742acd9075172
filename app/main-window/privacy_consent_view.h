#pragma once

#include <QDialog>

class QCheckBox;
class QLabel;
class QPushButton;

namespace base {
class DefaultsStore;
}

namespace velquin {

// The AI-content consent: what is sent and to whom, the full notice on request, a read-and-agree
// box and two buttons. "同意并返回" is enabled only while the box is ticked and records the consent
// in `defaults`; "暂不同意" and Escape close without recording anything. No key agrees: Return
// presses no button. The request that led here is not sent again.
class PrivacyConsentView : public QDialog {
    Q_OBJECT
public:
    static constexpr int minimumWidth = 450;
    static constexpr int idealWidth = 530;

    explicit PrivacyConsentView(base::DefaultsStore& defaults, QWidget* parent = nullptr);

    QPushButton* fullNoticeButton() const { return fullNotice_; }
    QCheckBox* agreeBox() const { return checked_; }
    QPushButton* declineButton() const { return decline_; }
    QPushButton* agreeButton() const { return agree_; }

    void retranslate();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void restyle();
    void fitHeight();

    base::DefaultsStore& defaults_;
    QLabel* symbol_ = nullptr;
    QLabel* title_ = nullptr;
    QLabel* summary_ = nullptr;
    QLabel* caution_ = nullptr;
    QPushButton* fullNotice_ = nullptr;
    QCheckBox* checked_ = nullptr;
    QPushButton* decline_ = nullptr;
    QPushButton* agree_ = nullptr;
};

}  // namespace velquin
