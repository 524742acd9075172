#include "app/shell/interface_language_picker.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "app/shell/interface_settings.h"
#include "app/shell/ui_strings.h"

namespace velquin {

InterfaceLanguagePicker::InterfaceLanguagePicker(QWidget* parent) : QWidget(parent) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(5);
    column->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    auto* row = new QHBoxLayout();
    row->setSpacing(8);
    title_ = new QLabel(this);
    title_->setTextFormat(Qt::PlainText);
    picker_ = new QComboBox(this);
    picker_->setObjectName(QStringLiteral("orvel.settings.interface-language"));
    // The titles change with the language: the list keeps the width of its longest one.
    picker_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    title_->setBuddy(picker_);
    row->addWidget(title_);
    row->addWidget(picker_);
    row->addStretch(1);
    column->addLayout(row);

    caption_ = new QLabel(this);
    caption_->setTextFormat(Qt::PlainText);
    caption_->setWordWrap(true);
    QFont captionFont = caption_->font();
    // A font given in pixels has no point size.
    if (captionFont.pointSizeF() > 0)
        captionFont.setPointSizeF(captionFont.pointSizeF() * 0.85);
    else if (captionFont.pixelSize() > 0)
        captionFont.setPixelSize(qMax(1, qRound(captionFont.pixelSize() * 0.85)));
    caption_->setFont(captionFont);
    caption_->setForegroundRole(QPalette::PlaceholderText);
    column->addWidget(caption_);

    for (InterfaceLanguage language : base::allCases<InterfaceLanguage>())
        picker_->addItem(QString(), base::rawValue(language));

    connect(picker_, &QComboBox::activated, this, [this](int index) {
        const auto language = base::fromRawValue<InterfaceLanguage>(picker_->itemData(index).toString());
        if (language) InterfaceSettings::shared().setLanguage(*language);
    });
    connect(&InterfaceSettingsCenter::shared(), &InterfaceSettingsCenter::interfaceLanguageDidChange, this,
            [this](InterfaceSettings* settings) {
                if (settings == &InterfaceSettings::shared()) retranslate();
            });
    retranslate();
}

void InterfaceLanguagePicker::retranslate() {
    const QSignalBlocker blocker(picker_);
    title_->setText(UIStrings::text(QStringLiteral("界面语言")));
    caption_->setText(UIStrings::text(QStringLiteral("立即生效并记住选择；不会改变回答语言。")));
    const InterfaceLanguage current = InterfaceSettings::shared().language();
    const auto& cases = base::allCases<InterfaceLanguage>();
    for (int i = 0; i < cases.size(); ++i) {
        picker_->setItemText(i, title(cases.at(i)));
        if (cases.at(i) == current) picker_->setCurrentIndex(i);
    }
}

}  // namespace velquin
