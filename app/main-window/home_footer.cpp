#include "app/main-window/home_footer.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>

#include "app/main-window/elided_label.h"
#include "app/main-window/home_style.h"
#include "app/shell/app_store.h"
#include "app/shell/orvel_brand.h"
#include "app/shell/system_colors.h"
#include "app/shell/ui_strings.h"
#include "app/tutor-lesson/lessonary_view_support.h"

namespace velquin {

namespace {

constexpr int kDotSize = 6;

// The busy dot: orange while busy, else the accent.
class StatusDot : public QWidget {
public:
    explicit StatusDot(QWidget* parent) : QWidget(parent) { setFixedSize(kDotSize, kDotSize); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(property("busy").toBool() ? SystemColors::orange(home_style::scheme()) : OrvelBrand::accent());
        painter.drawEllipse(QRectF(rect()));
    }
};

}  // namespace

HomeFooter::HomeFooter(AppStore& store, QWidget* parent) : QWidget(parent), store_(store) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(7);
    dot_ = new StatusDot(this);
    row->addWidget(dot_);
    status_ = new ElidedLabel(this);
    status_->setFont(lessonary::font(home_style::caption2));
    row->addWidget(status_, 1);
    privacy_ = lessonary::makeLabel(this, lessonary::font(home_style::caption2), false);
    row->addWidget(privacy_);

    connect(&store_, &AppStore::statusChanged, this, &HomeFooter::showStore);
    connect(&store_, &AppStore::isBusyChanged, this, &HomeFooter::showStore);
    lessonary::follow(this, [this] { retranslate(); }, [this] { restyle(); });
    retranslate();
    restyle();
}

void HomeFooter::showStore() {
    dot_->setProperty("busy", store_.isBusy());
    dot_->update();
    status_->setText(UIStrings::text(store_.status()));
}

void HomeFooter::retranslate() {
    privacy_->setText(UIStrings::text(QStringLiteral("隐私与 AI")));
    showStore();
}

void HomeFooter::restyle() {
    const QColor secondary = home_style::secondary(home_style::scheme());
    status_->setColor(secondary);
    lessonary::setTextColor(privacy_, secondary);
    dot_->update();
}

}  // namespace velquin
