#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QSignalSpy>
#include <QVBoxLayout>
#include <gtest/gtest.h>

#include "app/shell/interface_language_picker.h"
#include "app/shell/interface_settings.h"

namespace velquin {
namespace {

QString s(const char* utf8) { return QString::fromUtf8(utf8); }

TEST(InterfaceLanguagePicker, ListsTheLanguagesAndAppliesTheChoice) {
    auto& settings = InterfaceSettings::shared();
    settings.setLanguage(InterfaceLanguage::english);
    InterfaceLanguagePicker picker;
    QComboBox* box = picker.picker();
    ASSERT_EQ(box->count(), 4);
    EXPECT_EQ(box->itemText(0), "Follow System");
    EXPECT_EQ(box->itemText(1), s("简体中文"));
    EXPECT_EQ(box->currentIndex(), 2);

    QSignalSpy changes(&settings, &InterfaceSettings::interfaceLanguageDidChange);
    box->setCurrentIndex(3);
    Q_EMIT box->activated(3);
    EXPECT_EQ(settings.language(), InterfaceLanguage::french);
    EXPECT_EQ(changes.count(), 1);
    EXPECT_EQ(box->itemText(0), s("Selon le système"));
    const auto labels = picker.findChildren<QLabel*>();
    QStringList texts;
    for (QLabel* label : labels) texts << label->text();
    EXPECT_TRUE(texts.contains(s("Langue de l’interface")));
    settings.setLanguage(InterfaceLanguage::system);
}

TEST(InterfaceLanguagePicker, KeepsTheLongestTitleVisibleAfterALanguageChange) {
    auto& settings = InterfaceSettings::shared();
    settings.setLanguage(InterfaceLanguage::chinese);
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* picker = new InterfaceLanguagePicker(&window);
    layout->addWidget(picker);
    window.resize(600, 120);
    window.show();
    QApplication::processEvents();

    settings.setLanguage(InterfaceLanguage::french);
    QApplication::processEvents();
    QComboBox sample;
    for (int i = 0; i < picker->picker()->count(); ++i) sample.addItem(picker->picker()->itemText(i));
    EXPECT_GE(picker->picker()->width(), sample.sizeHint().width());
    settings.setLanguage(InterfaceLanguage::system);
}

TEST(InterfaceLanguagePicker, CaptionIsSmallerAlsoWithAFontGivenInPixels) {
    const QFont before = QApplication::font();
    QFont pixels = before;
    pixels.setPixelSize(20);
    QApplication::setFont(pixels);
    InterfaceLanguagePicker picker;
    QApplication::setFont(before);
    QLabel* caption = nullptr;
    QLabel* title = nullptr;
    for (QLabel* label : picker.findChildren<QLabel*>()) (label->wordWrap() ? caption : title) = label;
    ASSERT_TRUE(caption && title);
    EXPECT_EQ(title->font().pixelSize(), 20);
    EXPECT_EQ(caption->font().pixelSize(), 17);
}

}  // namespace
}  // namespace velquin
