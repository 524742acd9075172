#include "app/shell/ui_strings.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

namespace velquin {

namespace {

// The table ships inside the program: rows of "zh", "en" and "fr".
const QString kTablePath = QStringLiteral(":/strings/ui_strings.json");

struct Tables {
    QHash<QString, QString> english;
    QHash<QString, QString> french;
};

const Tables& tables() {
    static const Tables loaded = [] {
        Tables result;
        QFile file(kTablePath);
        if (!file.open(QIODevice::ReadOnly)) return result;
        const QJsonArray rows =
            QJsonDocument::fromJson(file.readAll()).object().value(QStringLiteral("strings")).toArray();
        for (const QJsonValue& row : rows) {
            const QJsonObject entry = row.toObject();
            const QString key = entry.value(QStringLiteral("zh")).toString().normalized(QString::NormalizationForm_C);
            result.english.insert(key, entry.value(QStringLiteral("en")).toString());
            result.french.insert(key, entry.value(QStringLiteral("fr")).toString());
        }
        return result;
    }();
    return loaded;
}

// A text with a variable part (an application name, a count, a status code, a file name) and its
// English and French wordings; "$1" … "$9" take the captures. Chinese punctuation is full-width;
// the capture parentheses are ASCII.
struct RuleText {
    const char* pattern;
    const char* english;
    const char* french;
};

const RuleText kRuleTexts[] = {
    {"^(.*)：已收到鼠标按下，等待拖选完成。$", "$1: mouse down received; waiting for selection.",
     "$1 : clic de souris reçu ; en attente de la sélection."},
    {"^正在读取选区：(.*)$", "Reading selection: $1", "Lecture de la sélection : $1"},
    {"^(.*)：已读取 ([0-9]+) 个字符。点击选区旁 AI 图标打开；尚未调用模型。$",
     "$1: $2 characters read. Click the AI icon; no model request yet.",
     "$1 : $2 caractères lus. Cliquez sur l'icône IA ; aucune requête modèle pour l'instant."},
    {"^系统文本服务已交付 ([0-9]+) 个字符；这条入口不需要辅助功能授权。$",
     "Text service delivered $1 characters; no Accessibility permission needed.",
     "Le service de texte a fourni $1 caractères ; aucune autorisation Accessibilité n'est nécessaire."},
    {"^模型服务暂时不可用（HTTP ([0-9]+)），请稍后重试。$", "Model service unavailable (HTTP $1). Try again later.",
     "Service modèle indisponible (HTTP $1). Réessayez plus tard."},
    {"^请求失败（HTTP ([0-9]+)）。$", "Request failed (HTTP $1).", "Échec de la requête (HTTP $1)."},
};

struct Rule {
    QRegularExpression pattern;
    QString tmpl;
};

using Rules = QList<Rule>;

Rules makeRules(const char* RuleText::*wording) {
    Rules rules;
    for (const RuleText& text : kRuleTexts) {
        // Every line terminator counts as one (CR LF, CR, LF, NEL, LS, PS, VT, FF): "$" also
        // matches before a final CR LF, and "." takes none of them.
        rules.append({QRegularExpression(QStringLiteral("(*ANY)") + QString::fromUtf8(text.pattern)),
                      QString::fromUtf8(text.*wording)});
    }
    return rules;
}

const Rules& englishRules() {
    static const Rules rules = makeRules(&RuleText::english);
    return rules;
}

const Rules& frenchRules() {
    static const Rules rules = makeRules(&RuleText::french);
    return rules;
}

// The template with "$1" and "$2" filled in; captured text is inserted as it stands.
QString expand(const QString& tmpl, const QRegularExpressionMatch& match) {
    QString out;
    out.reserve(tmpl.size() + 32);
    for (qsizetype i = 0; i < tmpl.size(); ++i) {
        const QChar c = tmpl.at(i);
        if (c == QLatin1Char('$') && i + 1 < tmpl.size() && tmpl.at(i + 1).isDigit()) {
            out += match.captured(tmpl.at(i + 1).digitValue());
            ++i;
        } else {
            out += c;
        }
    }
    return out;
}

QString localizeWith(const QString& source, const QHash<QString, QString>& dictionary, const Rules& dynamic,
                     const QString& suffixConnector) {
    const QString key = source.normalized(QString::NormalizationForm_C);
    if (const auto hit = dictionary.constFind(key); hit != dictionary.constEnd()) return hit.value();

    for (const Rule& rule : dynamic) {
        const QRegularExpressionMatch match = rule.pattern.match(source);
        if (match.hasMatch()) {
            // The patterns are anchored, so this rewrites the text once; whatever "$" left behind
            // (a final line break) stays.
            QString out = source;
            out.replace(match.capturedStart(0), match.capturedLength(0), expand(rule.tmpl, match));
            return out;
        }
    }

    const qsizetype colon = source.indexOf(QChar(0xFF1A));
    if (colon >= 0) {
        // A known prefix ("导入失败：") is translated with its colon; the detail behind it is looked up
        // on its own and kept as it stands when it is not known.
        const QString prefix = source.left(colon + 1).normalized(QString::NormalizationForm_C);
        if (const auto hit = dictionary.constFind(prefix); hit != dictionary.constEnd())
            return hit.value() + u' ' + localizeWith(source.mid(colon + 1), dictionary, dynamic, suffixConnector);
        // Any other label is kept when the whole rest is a known text.
        const QString tail = source.mid(colon + 1).normalized(QString::NormalizationForm_C);
        if (const auto hit = dictionary.constFind(tail); hit != dictionary.constEnd())
            return source.left(colon) + suffixConnector + hit.value();
    }

    QString out = source;
    out.replace(QStringLiteral(" 秒"), QStringLiteral(" s"));
    return out;
}

}  // namespace

QString UIStrings::choose(const QString& chinese, const QString& english, const QString& french) {
    switch (effectiveLanguage(InterfaceSettings::shared().language())) {
    case InterfaceLanguage::chinese: return chinese;
    case InterfaceLanguage::french: return french;
    default: return english;
    }
}

QString UIStrings::text(const QString& source) { return translated(source, InterfaceSettings::shared().language()); }

QString UIStrings::translated(const QString& source, InterfaceLanguage language) {
    switch (effectiveLanguage(language)) {
    case InterfaceLanguage::chinese: return source;
    case InterfaceLanguage::french: return localize(source, french(), InterfaceLanguage::french);
    default: return localize(source, english(), InterfaceLanguage::english);
    }
}

QString UIStrings::localize(const QString& source, const QHash<QString, QString>& dictionary,
                            InterfaceLanguage language) {
    if (language == InterfaceLanguage::french)
        return localizeWith(source, dictionary, frenchRules(), QStringLiteral(" : "));
    return localizeWith(source, dictionary, englishRules(), QStringLiteral(": "));
}

const QHash<QString, QString>& UIStrings::english() { return tables().english; }
const QHash<QString, QString>& UIStrings::french() { return tables().french; }

}  // namespace velquin
