#include "app/tutor-workspace/merid_course_library_view.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QSet>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

#include "app/shell/breakable_text.h"
#include "app/shell/symbol_image.h"
#include "app/shell/ui_strings.h"
#include "app/tutor-lesson/lessonary_merid_palette.h"
#include "app/tutor-lesson/lessonary_panel.h"
#include "app/tutor-lesson/lessonary_view_support.h"
#include "app/tutor-lesson/merid_history_session_row.h"
#include "app/tutor-workspace/merid_course_material_view.h"
#include "app/tutor-workspace/merid_workspace_symbols.h"
#include "tutor-engine/merid_v12_lesson_policy.h"

namespace velquin {

using meridcore::TeacherLearningSession;

namespace {

constexpr int kRailPadding = 16;
constexpr int kCardPadding = 12;
// The width inside the current course's card (the list's scroll bar takes its part of it).
constexpr int kCardRoom = MeridCourseLibraryView::railWidth - 2 * kRailPadding - 2 * kCardPadding;

QWidget* divider(QWidget* parent) {
    auto* line = new LessonaryPanel(&LessonaryMERIDPalette::line, nullptr, 0, parent);
    line->setFixedHeight(1);
    return line;
}

QLabel* caption(QWidget* parent, QFont::Weight weight) {
    QLabel* label = lessonary::makeLabel(parent, lessonary::font(11, weight), true);
    label->setForegroundRole(QPalette::PlaceholderText);
    return label;
}

QToolButton* captionButton(QWidget* parent, const QString& name) {
    auto* button = new QToolButton(parent);
    button->setObjectName(name);
    button->setAutoRaise(true);
    button->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    button->setFont(lessonary::font(11, QFont::Medium));
    button->setIconSize(QSize(13, 13));
    return button;
}

}  // namespace

MeridCourseLibraryView::MeridCourseLibraryView(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("orvel.merid.course-library"));
    setFixedWidth(railWidth);
    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(kRailPadding, kRailPadding, kRailPadding, kRailPadding);
    stack->setSpacing(0);

    auto* header = new QHBoxLayout();
    header->setSpacing(9);
    symbol_ = new QLabel(this);
    header->addWidget(symbol_);
    auto* titles = new QVBoxLayout();
    titles->setSpacing(2);
    name_ = lessonary::makeLabel(this, lessonary::font(13, QFont::DemiBold), false);
    subtitle_ = caption(this, QFont::Normal);
    subtitle_->setFont(lessonary::font(10));
    titles->addWidget(name_);
    titles->addWidget(subtitle_);
    header->addLayout(titles, 1);
    stack->addLayout(header);
    stack->addSpacing(12);
    stack->addWidget(divider(this));
    stack->addSpacing(12);

    auto* scroll = scroll_ = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Its room is always kept, as in the lesson column: the list never changes width as it grows, and
    // the height it is given is the one its items need at the width they get (a bar shown as needed
    // makes the scroll area take the height for a width narrower by the bar once more).
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    scroll->viewport()->setAutoFillBackground(false);
    auto* content = new QWidget(scroll);
    auto* sections = new QVBoxLayout(content);
    sections->setContentsMargins(0, 0, 0, 0);
    sections->setSpacing(20);
    // As tall as its sections at its width (the sum of the wrapping texts' minimum heights, each at
    // its narrowest, would leave an empty band below the last session at full scroll). They keep to
    // the top through a stretch below them: a layout aligned to the top would be given its size
    // hint's height and squeeze the rows' titles into one line.
    sections->setSizeConstraint(QLayout::SetNoConstraint);
    content->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Ignored);

    // The current course.
    auto* current = new QVBoxLayout();
    current->setSpacing(11);
    currentHeading_ = caption(content, QFont::DemiBold);
    current->addWidget(currentHeading_);
    // The current course's card.
    card_ = new LessonaryPanel(&LessonaryMERIDPalette::card, nullptr, 12, content);
    auto* card = new QVBoxLayout(card_);
    card->setContentsMargins(kCardPadding, kCardPadding, kCardPadding, kCardPadding);
    card->setSpacing(9);
    auto* courseRow = new QHBoxLayout();
    courseRow->setSpacing(6);
    courseSymbol_ = new QLabel(card_);
    course_ = lessonary::makeLabel(card_, lessonary::font(12, QFont::DemiBold), true);
    course_->setObjectName(QStringLiteral("orvel.merid.current-course"));
    course_->setMaximumHeight(2 * course_->fontMetrics().lineSpacing());
    courseRow->addWidget(courseSymbol_, 0, Qt::AlignTop);
    courseRow->addWidget(course_, 1);
    card->addLayout(courseRow);
    material_ = new MeridCourseMaterialView(card_);
    noMaterial_ = caption(card_, QFont::Normal);
    buildOutline_ = captionButton(card_, QStringLiteral("orvel.merid.index-existing"));
    import_ = captionButton(card_, QStringLiteral("orvel.merid.library-import"));
    card->addWidget(material_);
    card->addWidget(noMaterial_);
    card->addWidget(buildOutline_, 0, Qt::AlignLeft);
    card->addWidget(import_, 0, Qt::AlignLeft);
    current->addWidget(card_);
    sections->addLayout(current);

    // The stored sessions.
    auto* history = new QVBoxLayout();
    history->setSpacing(10);
    auto* heading = new QHBoxLayout();
    historyHeading_ = caption(content, QFont::DemiBold);
    newSession_ = new QToolButton(content);
    newSession_->setObjectName(QStringLiteral("orvel.merid.new-session"));
    newSession_->setAutoRaise(true);
    heading->addWidget(historyHeading_, 1);
    heading->addWidget(newSession_);
    history->addLayout(heading);
    emptyHistory_ = caption(content, QFont::Normal);
    emptyHistory_->hide();  // until the sessions are known
    history->addWidget(emptyHistory_);
    rows_ = new QVBoxLayout();
    rows_->setSpacing(4);
    history->addLayout(rows_);
    sections->addLayout(history);
    sections->addStretch(1);
    scroll->setWidget(content);
    content->setAutoFillBackground(false);  // (setWidget() turned it on)
    stack->addWidget(scroll, 1);

    stack->addSpacing(10);
    stack->addWidget(divider(this));
    stack->addSpacing(10);
    auto* footer = new QHBoxLayout();
    footer->setSpacing(5);
    footerSymbol_ = new QLabel(this);
    footer_ = caption(this, QFont::Normal);
    footer_->setFont(lessonary::font(10));
    footer->addWidget(footerSymbol_);
    footer->addWidget(footer_, 1);
    stack->addLayout(footer);

    connect(material_, &MeridCourseMaterialView::previousRequested, this, [this] { emit chunkChangeRequested(-1); });
    connect(material_, &MeridCourseMaterialView::nextRequested, this, [this] { emit chunkChangeRequested(+1); });
    connect(material_, &MeridCourseMaterialView::topicSelected, this, &MeridCourseLibraryView::topicSelected);
    connect(buildOutline_, &QToolButton::clicked, this, &MeridCourseLibraryView::buildOutlineRequested);
    connect(import_, &QToolButton::clicked, this, &MeridCourseLibraryView::importRequested);
    connect(newSession_, &QToolButton::clicked, this, &MeridCourseLibraryView::newSessionRequested);

    // The rows' titles and states are in the interface language too.
    lessonary::follow(this, [this] { rebuild(); }, [this] { restyle(); });
    retranslate();
    restyle();
}

void MeridCourseLibraryView::setState(const TeacherLearningSession& active, const QList<TeacherLearningSession>& sessions,
                                      bool busy, bool canSave) {
    active_ = active;
    sessions_ = sessions;
    busy_ = busy;
    canSave_ = canSave;
    hasState_ = true;
    rebuild();
}

void MeridCourseLibraryView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (stale_) rebuild();
}

QList<TeacherLearningSession> MeridCourseLibraryView::sortedSessions(QList<TeacherLearningSession> sessions) {
    std::stable_sort(sessions.begin(), sessions.end(),
                     [](const TeacherLearningSession& a, const TeacherLearningSession& b) {
                         return a.updatedAt > b.updatedAt;
                     });
    return sessions;
}

void MeridCourseLibraryView::rebuild() {
    // A hidden rail (the closed drawer, the docked list in a narrow window) catches up when shown.
    stale_ = !isVisible();
    if (stale_) return;
    const bool hasMaterial = active_.material.has_value();
    material_->setVisible(hasMaterial);
    if (hasMaterial) material_->setState(*active_.material, active_.chunkIndex, active_, busy_);
    noMaterial_->setVisible(!hasMaterial);
    buildOutline_->setVisible(!active_.coursePlan);
    buildOutline_->setEnabled(!busy_ && canSave_ && !active_.pendingQuizIndex());
    import_->setEnabled(!busy_ && canSave_);
    newSession_->setEnabled(!busy_ && canSave_);
    emptyHistory_->setVisible(hasState_ && sessions_.isEmpty());
    rebuildRows();
    retranslate();
}

meridcore::MeridV12KnowledgeStatus MeridCourseLibraryView::evidenceOf(const TeacherLearningSession& session) {
    const auto known = evidence_.constFind(session.id);
    if (known != evidence_.cend() && known->first == session) return known->second;
    const meridcore::MeridV12KnowledgeStatus status =
        meridcore::MeridV12LessonPolicy::guide(session, base::Date::now()).evidence.status;
    evidence_.insert(session.id, {session, status});
    return status;
}

void MeridCourseLibraryView::rebuildRows() {
    // What each row shows now, newest session first.
    QList<Row> wanted;
    QSet<QUuid> listed;
    for (const TeacherLearningSession& session : sortedSessions(sessions_)) {
        // A session not yet renamed by its first exchange keeps the stored default title, shown translated.
        const QString title = session.topicName && !session.topicName->isEmpty()      ? *session.topicName
                              : session.title == TeacherLearningSession::defaultTitle ? UIStrings::text(session.title)
                                                                                      : session.title;
        wanted.append(Row{session.id, nullptr, title, UIStrings::text(meridcore::chineseLabel(evidenceOf(session))),
                          session.id == active_.id, busy_});
        listed.insert(session.id);
    }
    evidence_.removeIf([&listed](const auto& entry) { return !listed.contains(entry.key()); });

    // Rows are kept by session and shown again only where what they show changed.
    QHash<QUuid, MeridHistorySessionRow*> kept;
    for (const Row& row : std::as_const(shownRows_))
        if (row.widget) kept.insert(row.id, row.widget);
    bool reordered = wanted.size() != shownRows_.size();
    bool waiting = false;
    for (qsizetype i = 0; i < wanted.size(); ++i) {
        Row& row = wanted[i];
        const Row* before = i < shownRows_.size() && shownRows_[i].id == row.id ? &shownRows_[i] : nullptr;
        if (!before) reordered = true;
        row.widget = kept.take(row.id);
        if (!row.widget) {
            if (rowsLeftThisTurn_ == 0) {
                waiting = true;
                continue;
            }
            --rowsLeftThisTurn_;
            reordered = true;
            row.widget =
                new MeridHistorySessionRow(row.title, row.evidence, row.isActive, row.busy, rows_->parentWidget());
            // The session as the list holds it when clicked, not as it was when the row was made.
            connect(row.widget, &MeridHistorySessionRow::openRequested, this, [this, id = row.id] {
                for (const TeacherLearningSession& session : std::as_const(sessions_))
                    if (session.id == id) return emit sessionSelected(session);
            });
            connect(row.widget, &MeridHistorySessionRow::deleteRequested, this,
                    [this, id = row.id] { emit deleteRequested(id); });
        } else if (!before || before->title != row.title || before->evidence != row.evidence ||
                   before->isActive != row.isActive || before->busy != row.busy) {
            row.widget->setContent(row.title, row.evidence, row.isActive, row.busy);
        }
    }
    for (MeridHistorySessionRow* gone : std::as_const(kept)) delete gone;
    if (reordered) {
        while (QLayoutItem* item = rows_->takeAt(0)) delete item;
        for (const Row& row : std::as_const(wanted))
            if (row.widget) rows_->addWidget(row.widget);
    }
    shownRows_ = std::move(wanted);
    // The next turn brings a new allowance of rows, and the rows still waiting for it.
    if ((rowsLeftThisTurn_ < rowsPerTurn || waiting) && !nextTurnPosted_) {
        nextTurnPosted_ = true;
        QTimer::singleShot(0, this, [this] {
            nextTurnPosted_ = false;
            rowsLeftThisTurn_ = rowsPerTurn;
            if (std::any_of(shownRows_.cbegin(), shownRows_.cend(), [](const Row& row) { return !row.widget; }))
                rebuild();
        });
    }
}

void MeridCourseLibraryView::retranslate() {
    name_->setText(UIStrings::text(QStringLiteral("MERID")));
    subtitle_->setText(UIStrings::text(QStringLiteral("Personal Learning Workspace")));
    currentHeading_->setText(UIStrings::text(QStringLiteral("当前课程")));
    const std::optional<QString>& courseName = active_.courseName;
    course_->setText(courseName && !courseName->isEmpty() ? *courseName : UIStrings::text(QStringLiteral("未命名课程")));
    noMaterial_->setText(UIStrings::text(QStringLiteral("尚未导入课件")));
    buildOutline_->setText(UIStrings::choose(QStringLiteral("建立课程目录"), QStringLiteral("Build course outline"),
                                             QStringLiteral("Créer le plan")));
    // The rail has a fixed width: a longer wording (the French) takes a second line. It fits beside
    // the list's scroll bar.
    const QString import = UIStrings::text(QStringLiteral("导入 PDF / Word / PPT…"));
    import_->setText(import);
    const int besideText = import_->sizeHint().width() - import_->fontMetrics().horizontalAdvance(import);
    const int scrollBar = scroll_->verticalScrollBar()->sizeHint().width();
    import_->setText(brokenToFit(import, import_->fontMetrics(), kCardRoom - scrollBar - besideText));
    import_->setAccessibleName(import);
    historyHeading_->setText(UIStrings::text(QStringLiteral("历史会话")));
    const QString newSession = UIStrings::text(QStringLiteral("新建学习会话"));
    newSession_->setToolTip(newSession);
    newSession_->setAccessibleName(newSession);
    emptyHistory_->setText(UIStrings::text(QStringLiteral("开始第一堂课后，会话会保存在这里。")));
    footer_->setText(UIStrings::text(QStringLiteral("已自动保存在本机")));
}

void MeridCourseLibraryView::restyle() {
    const ColorScheme scheme = lessonary::currentScheme();
    const QColor coral = LessonaryMERIDPalette::coral(scheme);
    const QColor muted = LessonaryMERIDPalette::muted(scheme);
    const qreal ratio = devicePixelRatioF();
    symbol_->setPixmap(SymbolImage::pixmap(QStringLiteral("graduationcap.fill"), QSize(20, 20), coral, ratio));
    courseSymbol_->setPixmap(SymbolImage::pixmap(QStringLiteral("folder.fill"), QSize(13, 13), coral, ratio));
    lessonary::setTextColor(course_, coral);
    lessonary::setTextColor(name_, LessonaryMERIDPalette::ink(scheme));
    footerSymbol_->setPixmap(
        SymbolImage::pixmap(QStringLiteral("externaldrive.badge.checkmark"), QSize(12, 12), muted, ratio));
    buildOutline_->setIcon(inkSymbol(QStringLiteral("list.bullet.rectangle"), 13));
    import_->setIcon(inkSymbol(QStringLiteral("plus.circle"), 13));
    newSession_->setIcon(inkSymbol(QStringLiteral("plus"), 14));
    update();
}

void MeridCourseLibraryView::paintEvent(QPaintEvent*) {
    QPainter(this).fillRect(rect(), LessonaryMERIDPalette::rail(lessonary::currentScheme()));
}

}  // namespace velquin
