#include "app/tutor-workspace/merid_course_material_view.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/shell/symbol_image.h"
#include "app/shell/ui_strings.h"
#include "app/tutor-lesson/lessonary_merid_palette.h"
#include "app/tutor-lesson/lessonary_view_support.h"
#include "app/tutor-workspace/merid_workspace_symbols.h"
#include "tutor-engine/merid_v12_course_navigator.h"

namespace velquin {

namespace {

namespace Navigator = meridcore::MeridV12CourseNavigator;

QLabel* secondaryLabel(QWidget* parent, int pixelSize, bool wrap, QFont::Weight weight = QFont::Normal) {
    QLabel* label = lessonary::makeLabel(parent, lessonary::font(pixelSize, weight), wrap);
    label->setForegroundRole(QPalette::PlaceholderText);
    return label;
}

// Wrapping text cut after `lines` lines.
void limitLines(QLabel* label, int lines) {
    label->setMaximumHeight(QFontMetrics(label->font()).lineSpacing() * lines);
}

QToolButton* arrowButton(QWidget* parent, const QString& name) {
    auto* button = new QToolButton(parent);
    button->setAutoRaise(true);
    button->setObjectName(name);
    return button;
}


}  // namespace

MeridCourseTopicRow::MeridCourseTopicRow(const QString& heading, const QString& status,
                                         const std::optional<QString>& sourceMarker, bool isActive, QWidget* parent)
    : QAbstractButton(parent) {
    setObjectName(QStringLiteral("orvel.merid.v12-course-topic"));
    setAccessibleName(heading);
    setProperty("isActiveTopic", isActive);
    setCursor(Qt::PointingHandCursor);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Minimum);

    const ColorScheme scheme = lessonary::currentScheme();
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 4, 0, 4);
    row->setSpacing(7);
    auto* mark = new QLabel(this);
    const QColor markColor =
        isActive ? LessonaryMERIDPalette::coral(scheme) : palette().color(QPalette::PlaceholderText);
    mark->setPixmap(SymbolImage::pixmap(isActive ? QStringLiteral("circle.inset.filled") : QStringLiteral("circle"),
                                        QSize(11, 11), markColor, devicePixelRatioF()));
    row->addWidget(mark, 0, Qt::AlignTop);

    auto* column = new QVBoxLayout();
    column->setSpacing(3);
    auto* title = lessonary::makeLabel(this, lessonary::font(11, isActive ? QFont::DemiBold : QFont::Normal), true);
    title->setText(heading);
    limitLines(title, 2);
    column->addWidget(title);
    auto* state = secondaryLabel(this, 10, true);
    state->setText(status);
    column->addWidget(state);
    if (sourceMarker) {
        auto* marker = secondaryLabel(this, 10, false);
        marker->setText(*sourceMarker);
        column->addWidget(marker);
    }
    row->addLayout(column, 1);
    // The labels are part of the button: a click anywhere in the row reaches it.
    for (QLabel* label : findChildren<QLabel*>()) label->setAttribute(Qt::WA_TransparentForMouseEvents);
}

QSize MeridCourseTopicRow::sizeHint() const { return layout()->sizeHint(); }

void MeridCourseTopicRow::paintEvent(QPaintEvent*) {
    // A plain button: only the keyboard focus is drawn.
    if (!hasFocus()) return;
    QPainter painter(this);
    QStyleOptionFocusRect option;
    option.initFrom(this);
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
}

MeridCourseMaterialView::MeridCourseMaterialView(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("orvel.merid.course-material"));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(10);

    // Source: the file and the piece being studied.
    auto* source = new QHBoxLayout();
    source->setSpacing(8);
    symbol_ = new QLabel(this);
    source->addWidget(symbol_, 0, Qt::AlignTop);
    auto* sourceText = new QVBoxLayout();
    sourceText->setSpacing(3);
    name_ = lessonary::makeLabel(this, lessonary::font(12), true);
    limitLines(name_, 3);
    position_ = secondaryLabel(this, 11, false);
    marker_ = secondaryLabel(this, 11, false);
    sourceText->addWidget(name_);
    sourceText->addWidget(position_);
    sourceText->addWidget(marker_);
    source->addLayout(sourceText, 1);
    column->addLayout(source);

    // The course outline.
    auto* outline = new QVBoxLayout();
    outline->setSpacing(7);
    outlineHeading_ = secondaryLabel(this, 10, false, QFont::DemiBold);
    noHeadings_ = secondaryLabel(this, 11, true);
    topicRows_ = new QVBoxLayout();
    topicRows_->setSpacing(0);
    toggle_ = new QToolButton(this);
    toggle_->setObjectName(QStringLiteral("orvel.merid.course-outline-toggle"));
    toggle_->setAutoRaise(true);
    toggle_->setFont(lessonary::font(11));
    footnote_ = secondaryLabel(this, 9, true);
    outline->addWidget(outlineHeading_);
    outline->addWidget(noHeadings_);
    outline->addLayout(topicRows_);
    outline->addWidget(toggle_, 0, Qt::AlignLeft);
    outline->addWidget(footnote_);
    column->addLayout(outline);

    // Piece navigation.
    auto* navigation = new QHBoxLayout();
    navigation->setSpacing(8);
    previous_ = arrowButton(this, QStringLiteral("orvel.merid.chunk-previous"));
    next_ = arrowButton(this, QStringLiteral("orvel.merid.chunk-next"));
    navigationLabel_ = secondaryLabel(this, 11, false);
    navigation->addWidget(previous_);
    navigation->addStretch(1);
    navigation->addWidget(navigationLabel_);
    navigation->addStretch(1);
    navigation->addWidget(next_);
    column->addLayout(navigation);

    connect(previous_, &QToolButton::clicked, this, &MeridCourseMaterialView::previousRequested);
    connect(next_, &QToolButton::clicked, this, &MeridCourseMaterialView::nextRequested);
    connect(toggle_, &QToolButton::clicked, this, [this] {
        outlineExpanded_ = !outlineExpanded_;
        rebuild();
    });
    // The topics' study states are in the interface language too. The arrows take the tutor's ink of
    // the appearance; the other colours are the palette's, taken again once a new palette is in
    // (changeEvent()).
    lessonary::follow(this, [this] { rebuild(); }, [this] { restyleArrows(); });
    restyle();
}

void MeridCourseMaterialView::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange && next_) restyle();
}

void MeridCourseMaterialView::setState(const meridcore::TeacherMaterial& material, qint64 chunkIndex,
                                       const meridcore::TeacherLearningSession& session, bool busy) {
    // Most changes of the session (its names, the answer being written) change nothing here: the
    // material is walked and the outline made again only when what they show changed.
    const bool sameMaterial = material_ && *material_ == material;
    if (sameMaterial && chunkIndex_ == chunkIndex && busy_ == busy && session_ &&
        session_->coursePlan == session.coursePlan && session_->quizRecords == session.quizRecords)
        return;
    if (!sameMaterial) chunkCount_ = material.count();
    if (!sameMaterial || chunkIndex_ != chunkIndex)
        marker_->setText(material.sourceMarker(chunkIndex).value_or(QString()));
    material_ = material;
    chunkIndex_ = chunkIndex;
    session_ = session;
    busy_ = busy;
    rebuild();
}

void MeridCourseMaterialView::rebuild() {
    if (!material_ || !session_) return;
    const qsizetype chunkCount = chunkCount_;
    name_->setText(material_->name());
    marker_->setVisible(!marker_->text().isEmpty());

    const QList<meridcore::MeridV12CourseTopic> topics =
        session_->coursePlan ? session_->coursePlan->topics : QList<meridcore::MeridV12CourseTopic>{};
    const std::optional<QString> activeID = session_->coursePlan ? session_->coursePlan->activeTopicID : std::nullopt;
    const bool pending = session_->pendingQuizIndex().has_value();
    noHeadings_->setVisible(topics.isEmpty());
    toggle_->setVisible(topics.size() > collapsedTopics);

    while (QLayoutItem* item = topicRows_->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    const base::Date now = base::Date::now();
    const qsizetype visible = std::min<qsizetype>(topics.size(), outlineExpanded_ ? expandedTopics : collapsedTopics);
    for (qsizetype i = 0; i < visible; ++i) {
        const meridcore::MeridV12CourseTopic& topic = topics.at(i);
        const QString status =
            UIStrings::text(Navigator::reviewDue(topic, *session_, now)
                                ? QStringLiteral("复习到期")
                                : meridcore::chineseLabel(Navigator::evidence(topic, *session_).status));
        auto* row = new MeridCourseTopicRow(topic.heading, status, topic.sourceMarker, activeID == topic.id, this);
        row->setEnabled(!busy_ && !pending);
        connect(row, &QAbstractButton::clicked, this, [this, id = topic.id] { emit topicSelected(id); });
        topicRows_->addWidget(row);
    }

    previous_->setEnabled(!busy_ && chunkIndex_ > 0);
    next_->setEnabled(!busy_ && chunkIndex_ + 1 < chunkCount);
    retranslate();
}

void MeridCourseMaterialView::retranslate() {
    if (material_)
        position_->setText(UIStrings::text(QStringLiteral("资料段落")) + u' ' + QString::number(chunkIndex_ + 1) +
                           QStringLiteral(" / ") + QString::number(chunkCount_));
    outlineHeading_->setText(UIStrings::choose(QStringLiteral("教材课程目录"), QStringLiteral("SOURCE COURSE OUTLINE"),
                                               QStringLiteral("PLAN DU COURS")));
    noHeadings_->setText(
        UIStrings::choose(QStringLiteral("未识别到可靠章节标题。仍可自行输入想学的知识点。"),
                          QStringLiteral("No reliable headings detected. You can still enter a topic."),
                          QStringLiteral("Aucun titre fiable. Saisissez un sujet librement.")));
    const qsizetype topicCount = session_ && session_->coursePlan ? session_->coursePlan->topics.size() : 0;
    const QString count = QString::number(topicCount);
    toggle_->setText(outlineExpanded_ ? UIStrings::choose(QStringLiteral("收起目录"), QStringLiteral("Show fewer"),
                                                          QStringLiteral("Réduire"))
                                      : UIStrings::choose(QStringLiteral("查看全部 ") + count + QStringLiteral(" 章"),
                                                          QStringLiteral("Show all ") + count,
                                                          QStringLiteral("Afficher tout")));
    footnote_->setText(UIStrings::choose(QStringLiteral("已识别 ≠ 已学习；掌握证据来自独立作答。"),
                                         QStringLiteral("Indexed ≠ learned. Progress requires independent answers."),
                                         QStringLiteral("Indexé ≠ appris. Les réponses donnent des preuves.")));
    navigationLabel_->setText(UIStrings::text(QStringLiteral("切换资料段落")));
    previous_->setAccessibleName(UIStrings::choose(QStringLiteral("上一段"), QStringLiteral("Previous part"),
                                                   QStringLiteral("Partie précédente")));
    next_->setAccessibleName(UIStrings::choose(QStringLiteral("下一段"), QStringLiteral("Next part"),
                                               QStringLiteral("Partie suivante")));
}

void MeridCourseMaterialView::restyleArrows() {
    previous_->setIcon(inkSymbol(QStringLiteral("chevron.left"), 14));
    next_->setIcon(inkSymbol(QStringLiteral("chevron.right"), 14));
}

void MeridCourseMaterialView::restyle() {
    symbol_->setPixmap(SymbolImage::pixmap(QStringLiteral("doc.text"), QSize(14, 14),
                                           palette().color(QPalette::PlaceholderText), devicePixelRatioF()));
    restyleArrows();
    // The topic rows take their colours when they are made.
    rebuild();
}

}  // namespace velquin
