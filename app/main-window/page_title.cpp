#include "app/main-window/page_title.h"

#include <QLabel>

namespace velquin {

QLabel* makePageTitle(QWidget* parent) {
    auto* title = new QLabel(parent);
    title->setTextFormat(Qt::PlainText);
    QFont font = title->font();
    font.setPixelSize(24);
    font.setWeight(QFont::DemiBold);
    title->setFont(font);
    return title;
}

}  // namespace velquin
