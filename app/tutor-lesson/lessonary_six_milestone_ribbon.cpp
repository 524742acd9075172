#include "app/tutor-lesson/lessonary_six_milestone_ribbon.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QTextLayout>
#include <QtMath>

#include "app/shell/ui_strings.h"
#include "app/tutor-lesson/lessonary_merid_palette.h"
#include "app/tutor-lesson/lessonary_symbol.h"
#include "app/tutor-lesson/lessonary_view_support.h"

namespace velquin {

using meridcore::LessonaryMilestone;
using meridcore::LessonaryMilestoneStatus;

namespace {

constexpr int kMarker = 29;
constexpr int kMarkerToCaption = 8;
constexpr int kCellSpacing = 5;
constexpr int kRowInset = 6;
constexpr int kFontSize = 11;
constexpr qreal kSmallestCaptionScale = 0.85;

// A caption's line: the height and the baseline of a line in the caption font with the fonts a
// Chinese caption falls back to (taller than the Latin interface font's own metrics say).
struct CaptionLine {
    int ascent = 0;
    int height = 0;
};
CaptionLine captionLine(const QFont& font, const QString& text) {
    QTextLayout layout(text, font);
    layout.beginLayout();
    const QTextLine line = layout.createLine();
    layout.endLayout();
    return {qCeil(line.ascent()), qCeil(line.ascent()) + qCeil(line.descent())};
}

// One step: the numbered (or ticked) disc and its caption, drawn in the status colour.
class MilestoneCell : public QAbstractButton {
public:
    MilestoneCell(int position, QWidget* parent) : QAbstractButton(parent), position_(position) {
        setCursor(Qt::PointingHandCursor);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        setFixedHeight(kMarker + kMarkerToCaption +
                       captionLine(lessonary::font(kFontSize), QStringLiteral("复盘 Recap")).height);
    }

    void display(const LessonaryMilestone& milestone) {
        milestone_ = milestone;
        update();
    }

    QSize sizeHint() const override { return {kMarker, height()}; }
    QSize minimumSizeHint() const override { return {kMarker, height()}; }

protected:
    void paintEvent(QPaintEvent*) override {
        const ColorScheme scheme = lessonary::currentScheme();
        const bool active = milestone_.status == LessonaryMilestoneStatus::active;
        const QColor color = LessonarySixMilestoneRibbon::statusColor(milestone_.status, scheme);
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);

        // The disc, its ring inside the edge, and the number or tick.
        // On whole pixels: a disc or a caption centred on a half pixel is drawn blurred.
        const QRectF marker(qFloor((width() - kMarker) / 2.0), 0, kMarker, kMarker);
        painter.setPen(Qt::NoPen);
        painter.setBrush(active ? LessonaryMERIDPalette::coral(scheme) : LessonaryMERIDPalette::card(scheme));
        painter.drawEllipse(marker);
        QColor ring = color;
        ring.setAlphaF(0.55f);
        painter.setPen(QPen(ring, 1));
        painter.setBrush(Qt::NoBrush);
        painter.drawEllipse(marker.adjusted(0.5, 0.5, -0.5, -0.5));
        if (milestone_.status == LessonaryMilestoneStatus::completedByAction) {
            const QPixmap tick = LessonarySymbol::pixmap(QStringLiteral("checkmark"), color, kFontSize,
                                                         devicePixelRatioF());
            painter.drawPixmap(marker.center() - QPointF(kFontSize / 2.0, kFontSize / 2.0), tick);
        } else {
            painter.setFont(lessonary::font(kFontSize, QFont::Bold));
            painter.setPen(active ? QColor(Qt::white) : color);
            painter.drawText(marker, Qt::AlignCenter, QString::number(position_ + 1));
        }

        // The caption on one line, shrunk down to 85 % before it is cut.
        QFont font = lessonary::font(kFontSize, active ? QFont::DemiBold : QFont::Normal);
        const QString caption = LessonarySixMilestoneRibbon::title(milestone_.titleKey);
        const int available = width();
        const int natural = QFontMetrics(font).horizontalAdvance(caption);
        if (natural > available && natural > 0)
            font.setPixelSize(qMax(1, qFloor(kFontSize * qMax(kSmallestCaptionScale, qreal(available) / natural))));
        painter.setFont(font);
        painter.setPen(color);
        const QString shown = QFontMetrics(font).elidedText(caption, Qt::ElideRight, available);
        const int left = qFloor((width() - QFontMetrics(font).horizontalAdvance(shown)) / 2.0);
        painter.drawText(QPoint(qMax(0, left), kMarker + kMarkerToCaption + captionLine(font, shown).ascent), shown);
    }

private:
    int position_;
    LessonaryMilestone milestone_;
};

}  // namespace

LessonarySixMilestoneRibbon::LessonarySixMilestoneRibbon(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("orvel.merid.six-milestones"));
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, kRowInset, 0, kRowInset);
    row->setSpacing(kCellSpacing);
    row->setAlignment(Qt::AlignTop);
    lessonary::follow(this, [this] { retranslate(); }, [this] { update(); });
}

void LessonarySixMilestoneRibbon::setMilestones(const QList<LessonaryMilestone>& milestones,
                                                const QSet<QString>& navigable) {
    milestones_ = milestones;
    navigable_ = navigable;
    while (cells_.size() > milestones_.size()) delete cells_.takeLast();
    while (cells_.size() < milestones_.size()) {
        auto* cell = new MilestoneCell(int(cells_.size()), this);
        const int index = int(cells_.size());
        connect(cell, &QAbstractButton::clicked, this, [this, index] {
            if (index < milestones_.size() && navigable_.contains(milestones_.at(index).id))
                Q_EMIT navigate(milestones_.at(index).id);
        });
        layout()->addWidget(cell);
        cells_ << cell;
    }
    retranslate();
}

QList<QAbstractButton*> LessonarySixMilestoneRibbon::cells() const { return cells_; }

void LessonarySixMilestoneRibbon::retranslate() {
    for (int i = 0; i < cells_.size(); ++i) {
        const LessonaryMilestone& milestone = milestones_.at(i);
        auto* cell = static_cast<MilestoneCell*>(cells_.at(i));
        const bool enabled = navigable_.contains(milestone.id);
        cell->setEnabled(enabled);
        cell->setToolTip(enabled ? UIStrings::choose(QStringLiteral("查看对应的课堂记录"),
                                                     QStringLiteral("Jump to recorded content"),
                                                     QStringLiteral("Voir le contenu"))
                                 : statusText(milestone.status));
        cell->setAccessibleName(QStringLiteral("%1/6, %2, %3")
                                    .arg(i + 1)
                                    .arg(title(milestone.titleKey), statusText(milestone.status)));
        cell->display(milestone);
    }
}

QString LessonarySixMilestoneRibbon::title(const QString& titleKey) {
    if (titleKey == QLatin1String("explain"))
        return UIStrings::choose(QStringLiteral("讲解"), QStringLiteral("Explain"), QStringLiteral("Expliquer"));
    if (titleKey == QLatin1String("quiz"))
        return UIStrings::choose(QStringLiteral("出题"), QStringLiteral("Quiz"), QStringLiteral("Exercice"));
    if (titleKey == QLatin1String("grade"))
        return UIStrings::choose(QStringLiteral("批改"), QStringLiteral("Grade"), QStringLiteral("Corriger"));
    if (titleKey == QLatin1String("repair"))
        return UIStrings::choose(QStringLiteral("补救"), QStringLiteral("Repair"), QStringLiteral("Remédier"));
    if (titleKey == QLatin1String("retest"))
        return UIStrings::choose(QStringLiteral("复测"), QStringLiteral("Retest"), QStringLiteral("Revérifier"));
    return UIStrings::choose(QStringLiteral("复盘"), QStringLiteral("Recap"), QStringLiteral("Synthèse"));
}

QString LessonarySixMilestoneRibbon::statusText(LessonaryMilestoneStatus status) {
    switch (status) {
    case LessonaryMilestoneStatus::locked:
        return UIStrings::choose(QStringLiteral("尚未开始"), QStringLiteral("Not open yet"), QStringLiteral("À venir"));
    case LessonaryMilestoneStatus::available:
        return UIStrings::choose(QStringLiteral("可以开始"), QStringLiteral("Available"), QStringLiteral("Disponible"));
    case LessonaryMilestoneStatus::active:
        return UIStrings::choose(QStringLiteral("当前阶段"), QStringLiteral("Current stage"),
                                 QStringLiteral("Étape actuelle"));
    case LessonaryMilestoneStatus::completedByAction:
        return UIStrings::choose(QStringLiteral("有实际记录"), QStringLiteral("Recorded evidence"),
                                 QStringLiteral("Donnée enregistrée"));
    case LessonaryMilestoneStatus::requiresReview:
        return UIStrings::choose(QStringLiteral("需要复习"), QStringLiteral("Needs review"), QStringLiteral("À revoir"));
    }
    return {};
}

QColor LessonarySixMilestoneRibbon::statusColor(LessonaryMilestoneStatus status, ColorScheme scheme) {
    switch (status) {
    case LessonaryMilestoneStatus::active: return LessonaryMERIDPalette::coral(scheme);
    case LessonaryMilestoneStatus::completedByAction: return LessonaryMERIDPalette::success(scheme);
    case LessonaryMilestoneStatus::requiresReview: return LessonaryMERIDPalette::warning(scheme);
    case LessonaryMilestoneStatus::locked:
    case LessonaryMilestoneStatus::available: break;
    }
    return LessonaryMERIDPalette::muted(scheme);
}

}  // namespace velquin
