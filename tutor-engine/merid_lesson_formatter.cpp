#include "tutor-engine/merid_lesson_formatter.h"

#include <QStringList>

#include "base/text.h"

namespace meridcore::MeridLessonFormatter {

namespace {

using Kind = MeridLessonSectionKind;

struct Header {
    Kind kind;
    QString inlineText;
};

const QList<std::pair<Kind, QStringList>>& titles() {
    static const QList<std::pair<Kind, QStringList>> table{
        {Kind::intuition,
         {QStringLiteral("先说人话"), QStringLiteral("直观理解"), QStringLiteral("先理解"), QStringLiteral("Quick idea"),
          QStringLiteral("Intuition"), QStringLiteral("Comprendre d'abord")}},
        {Kind::concept_,
         {QStringLiteral("关键概念"), QStringLiteral("核心知识"), QStringLiteral("英文关键词"), QStringLiteral("Key concept"),
          QStringLiteral("Key term"), QStringLiteral("Notion clé")}},
        {Kind::example,
         {QStringLiteral("举个例子"), QStringLiteral("简单例子"), QStringLiteral("动手看看"), QStringLiteral("Example"),
          QStringLiteral("Worked example"), QStringLiteral("Exemple")}},
        {Kind::reminder,
         {QStringLiteral("记住这一点"), QStringLiteral("容易弄错"), QStringLiteral("易错点"), QStringLiteral("Remember"),
          QStringLiteral("Watch out"), QStringLiteral("À retenir")}},
    };
    return table;
}

// `line` is already trimmed.
std::optional<Header> header(const QString& line) {
    const QString lowered = base::text::lower(line);
    for (const auto& [kind, kindTitles] : titles()) {
        for (const QString& title : kindTitles) {
            const QString bracketed = u'【' + title + u'】';
            if (line.startsWith(bracketed)) return Header{kind, base::text::trimmed(line.mid(bracketed.size()))};
            const QString loweredTitle = base::text::lower(title);
            if (lowered == QStringLiteral("## ") + loweredTitle || lowered == QStringLiteral("### ") + loweredTitle)
                return Header{kind, QString()};
        }
    }
    return std::nullopt;
}

}  // namespace

QList<MeridLessonSection> sections(const QString& text) {
    QList<MeridLessonSection> result;
    Kind kind = Kind::paragraph;
    QStringList lines;
    auto flush = [&] {
        const QString body = base::text::trimmed(lines.join(u'\n'));
        if (!body.isEmpty()) result.append(MeridLessonSection{int(result.size()), kind, body});
        lines.clear();
    };

    QString normalized = text;
    normalized.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    for (const QString& line : normalized.split(u'\n')) {
        const QString trimmedLine = base::text::trimmed(line);
        if (const std::optional<Header> found = header(trimmedLine)) {
            flush();
            kind = found->kind;
            if (!found->inlineText.isEmpty()) lines.append(found->inlineText);
        } else if (!trimmedLine.isEmpty()) {
            lines.append(line);
        } else if (kind == Kind::paragraph) {
            flush();
        } else {
            lines.append(line);
        }
    }
    flush();
    return result;
}

}  // namespace meridcore::MeridLessonFormatter
