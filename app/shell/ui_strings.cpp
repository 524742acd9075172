#include "app/shell/ui_strings.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QResource>
#include <QTranslator>

#include <optional>

#include "app/shell/qt_translations.h"
#include "net/http.h"

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
        // Read as a resource, not a file: a file is a QObject, and the start-up warm-up reads the table on a
        // thread of its own before the application object exists (see StartupWarmUp).
        const QResource table(kTablePath);
        if (!table.isValid()) return result;
        const QJsonArray rows =
            QJsonDocument::fromJson(table.uncompressedData()).object().value(QStringLiteral("strings")).toArray();
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
// English and French wordings; "$1" … "$9" take the captures as they stand, "%1" … "%9" a captured
// message of the program (a failure's detail) translated in turn. Chinese punctuation is full-width;
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
    {"^来源进程变化：按下时 未知，松开时 ([0-9]+)。请在当前应用重新拖选。$",
     "The source process changed (unknown on press, $1 on release). Select again in the current app.",
     "Le processus source a changé (inconnu à l'appui, $1 au relâchement). Sélectionnez à nouveau dans l'app actuelle."},
    {"^来源进程变化：按下时 ([0-9]+)，松开时 ([0-9]+)。请在当前应用重新拖选。$",
     "The source process changed ($1 on press, $2 on release). Select again in the current app.",
     "Le processus source a changé ($1 à l'appui, $2 au relâchement). Sélectionnez à nouveau dans l'app actuelle."},
    {"^Orvel AI 请求失败（HTTP ([0-9]+)）。$", "Orvel AI request failed (HTTP $1).",
     "Échec de la requête IA Orvel (HTTP $1)."},
    {"^账户服务器暂不可用（HTTP 503，(.*)），请勿重复注册。$",
     "The account server is unavailable (HTTP 503, $1). Don't register again.",
     "Le serveur de comptes est indisponible (HTTP 503, $1). Ne vous réinscrivez pas."},
    {"^账户服务返回 HTTP ([0-9]+)（(.*)）。$", "The account service returned HTTP $1 ($2).",
     "Le service de comptes a renvoyé HTTP $1 ($2)."},
    {"^Google 令牌交换失败（HTTP ([0-9]+)，(.*)）。请检查 OAuth 客户端类型与回调。$",
     "Google token exchange failed (HTTP $1, $2). Check the OAuth client type and redirect.",
     "Échec de l'échange de jeton Google (HTTP $1, $2). Vérifiez le type de client OAuth et la redirection."},
    {"^Orvel 身份验证失败（HTTP ([0-9]+)，(.*)）。$", "Orvel sign-in check failed (HTTP $1, $2).",
     "Échec de la vérification Orvel (HTTP $1, $2)."},
    {"^已复制 ([0-9]+) 条 MERID 会话。旧版原件仍保留。$", "Copied $1 MERID sessions. The originals are kept.",
     "$1 sessions MERID copiées. Les originaux sont conservés."},
    {"^错误代码 (-?[0-9]+)$", "error code $1", "code d'erreur $1"},
    {"^学习历史保存失败，本次更改未保存。（(.*)）$", "Saving history failed; this change wasn't saved. (%1)",
     "L'enregistrement de l'historique a échoué ; cette modification n'a pas été enregistrée. (%1)"},
    {"^无法读取的学习历史文件未能另存，为保护原文件，本次更改未保存。（(.*)）$",
     "The unreadable history file couldn't be set aside, so this change wasn't saved to protect it. (%1)",
     "Le fichier d'historique illisible n'a pas pu être mis de côté ; pour le protéger, cette modification n'a pas été enregistrée. (%1)"},
    {"^无法读取的学习历史文件已原样另存为 ([^。]*)。$", "The unreadable history file was set aside unchanged as $1.",
     "Le fichier d'historique illisible a été mis de côté tel quel sous le nom $1."},
    {"^设置保存失败，更改只在本次运行中有效。（(.*)）$",
     "Saving settings failed; changes last only until Orvel quits. (%1)",
     "L'enregistrement des réglages a échoué ; les modifications ne durent que jusqu'à la fermeture d'Orvel. (%1)"},
    {"^无法读取的设置文件未能另存，为保护原文件，设置更改只在本次运行中有效。（(.*)）$",
     "The unreadable settings file couldn't be set aside, so to protect it, changes last only until Orvel quits. (%1)",
     "Le fichier de réglages illisible n'a pas pu être mis de côté ; pour le protéger, les modifications ne durent que jusqu'à la fermeture d'Orvel. (%1)"},
    {"^无法读取的设置文件已原样另存为 ([^。]*)。$", "The unreadable settings file was set aside unchanged as $1.",
     "Le fichier de réglages illisible a été mis de côté tel quel sous le nom $1."},
    {"^无法读取的设置文件已原样另存为 ([^。]*)。设置保存失败，更改只在本次运行中有效。（(.*)）$",
     "The unreadable settings file was set aside unchanged as $1. Saving settings failed; changes last only until Orvel quits. (%2)",
     "Le fichier de réglages illisible a été mis de côté tel quel sous le nom $1. L'enregistrement des réglages a échoué ; les modifications ne durent que jusqu'à la fermeture d'Orvel. (%2)"},
    {"^已导入 PDF 第 ([0-9]+–[0-9]+) 页。部分页面使用本机 OCR，请核对识别结果。$",
     "Imported PDF pages $1. Some pages were recognised on this computer; check the result.",
     "Pages $1 du PDF importées. Certaines pages ont été reconnues sur cet ordinateur ; vérifiez le résultat."},
    {"^已导入 PDF 第 ([0-9]+–[0-9]+) 页。请核对文字顺序。$", "Imported PDF pages $1. Check the text order.",
     "Pages $1 du PDF importées. Vérifiez l'ordre du texte."},
    {"^无法以 UTF-8 读取文件“(.*)”：文本编码不受支持。$", "Can't read “$1” as UTF-8: unsupported text encoding.",
     "Impossible de lire « $1 » en UTF-8 : encodage non pris en charge."},
    {"^系统没有完成授权重置。请在桌面的辅助功能设置中关闭再打开辅助技术，然后重新启动正在运行的这一份 Orvel。\\n([\\s\\S]*)$",
     "The permission reset didn't finish. Turn assistive technologies off and on again in the desktop's accessibility settings, then restart this running Orvel.\n$1",
     "La réinitialisation de l'autorisation n'a pas abouti. Désactivez puis réactivez les technologies d'assistance dans les réglages d'accessibilité du bureau, puis redémarrez cet Orvel.\n$1"},
    {"^来自 (.*) · 可继续编辑后学习$", "From $1 · Edit before studying", "Depuis $1 · Modifiable avant l'étude"},
    {"^(.*) · ([0-9.]+) 秒 · tokens：输入 ([0-9]+) / 输出 ([0-9]+)$", "$1 · $2 s · tokens: $3 in / $4 out",
     "$1 · $2 s · jetons : $3 en entrée / $4 en sortie"},
    {"^MERID 正在带课（本轮最多 ([0-9]+) 次 AI 请求，可随时停止）…$",
     "MERID is teaching (up to $1 AI requests this round; stop anytime)…",
     "MERID enseigne (jusqu'à $1 requêtes IA ce tour ; arrêt possible à tout moment)…"},
    {"^MERID 正在安排下一教学步骤（已完成 ([0-9]+)/([0-9]+) 次）…$", "MERID is planning the next step ($1/$2 done)…",
     "MERID prépare l'étape suivante ($1/$2 faites)…"},
    {"^本轮已完成 ([0-9]+) 次 AI 请求，已在需要学生作答或知识点边界处停下。$",
     "This round made $1 AI requests and stopped for your answer or at the end of a topic.",
     "Ce tour a fait $1 requêtes IA et s'est arrêté pour votre réponse ou en fin de sujet."},
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
        // Compiled here, while the rules are made, so that matching only reads them.
        rules.last().pattern.optimize();
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

// The template with "$1" and "$2" filled in: captured text is inserted as it stands, and after "%"
// as `translate` gives it.
template <typename Translate>
QString expand(const QString& tmpl, const QRegularExpressionMatch& match, const Translate& translate) {
    QString out;
    out.reserve(tmpl.size() + 32);
    for (qsizetype i = 0; i < tmpl.size(); ++i) {
        const QChar c = tmpl.at(i);
        if ((c == u'$' || c == u'%') && i + 1 < tmpl.size() && tmpl.at(i + 1).isDigit()) {
            const QString captured = match.captured(tmpl.at(i + 1).digitValue());
            out += c == u'$' ? captured : translate(captured);
            ++i;
        } else {
            out += c;
        }
    }
    return out;
}

using Typeset = QString (*)(const QString&);

QString asItStands(const QString& text) { return text; }

// Qt's catalogue of a language, held apart from the one the application installs (QtTranslations),
// so that a text comes out in the language asked for. Read at its first use.
const QTranslator* catalogue(InterfaceLanguage language) {
    if (language == InterfaceLanguage::chinese) {
        static const QTranslator* const chinese = qtCatalogue(InterfaceLanguage::chinese).release();
        return chinese;
    }
    static const QTranslator* const french = qtCatalogue(InterfaceLanguage::french).release();
    return french;
}

// The words of Qt that the network layer keeps untranslated (see net::NetworkError), each split
// around its "%1".
struct QtWords {
    net::QtText text;
    QString before;
    QString after;
    bool hasHole;
};

const QList<QtWords>& qtWords() {
    static const QList<QtWords> words = [] {
        QList<QtWords> all;
        for (const net::QtText& text : net::qtFailureTexts()) {
            const QString source = QString::fromLatin1(text.source);
            const qsizetype hole = source.indexOf(QStringLiteral("%1"));
            all.append(hole < 0 ? QtWords{text, source, QString(), false}
                                : QtWords{text, source.left(hole), source.mid(hole + 2), true});
        }
        return all;
    }();
    return words;
}

// Such words of Qt in Qt's translation for `language` (Chinese or French), typeset; the host in
// their "%1" as it stands. Nothing when `source` is not one of them.
std::optional<QString> translatedQtWords(const QString& source, InterfaceLanguage language, Typeset typeset) {
    for (const QtWords& words : qtWords()) {
        QString host;
        if (!words.hasHole) {
            if (source != words.before) continue;
        } else {
            const qsizetype fixed = words.before.size() + words.after.size();
            if (source.size() <= fixed || !source.startsWith(words.before) || !source.endsWith(words.after)) continue;
            host = source.mid(words.before.size(), source.size() - fixed);
        }
        const QTranslator* translator = catalogue(language);
        QString shown = translator ? translator->translate(words.text.context, words.text.source) : QString();
        if (shown.isEmpty()) shown = QString::fromLatin1(words.text.source);
        return typeset(shown).replace(QStringLiteral("%1"), host);
    }
    return std::nullopt;
}

// A Chinese text stays as it is, but for Qt's words standing alone or after a label that ends in a
// full-width colon, which Qt's catalogue puts into Chinese.
QString withChineseQtWords(const QString& source) {
    if (std::optional<QString> words = translatedQtWords(source, InterfaceLanguage::chinese, &asItStands))
        return *words;
    const qsizetype colon = source.indexOf(QChar(0xFF1A));
    return colon < 0 ? source : source.left(colon + 1) + withChineseQtWords(source.mid(colon + 1));
}

// `typeset` shapes the wording that comes from the table and the rules, never the source's own
// parts.
QString localizeWith(const QString& source, const QHash<QString, QString>& dictionary, const Rules& dynamic,
                     const QString& suffixConnector, Typeset typeset, InterfaceLanguage language) {
    const QString key = source.normalized(QString::NormalizationForm_C);
    if (const auto hit = dictionary.constFind(key); hit != dictionary.constEnd()) return typeset(hit.value());

    for (const Rule& rule : dynamic) {
        const QRegularExpressionMatch match = rule.pattern.match(source);
        if (match.hasMatch()) {
            // The patterns are anchored, so this rewrites the text once; whatever "$" left behind
            // (a final line break) stays.
            QString out = source;
            const auto translate = [&](const QString& message) {
                return localizeWith(message, dictionary, dynamic, suffixConnector, typeset, language);
            };
            out.replace(match.capturedStart(0), match.capturedLength(0), expand(typeset(rule.tmpl), match, translate));
            return out;
        }
    }

    const qsizetype colon = source.indexOf(QChar(0xFF1A));
    if (colon >= 0) {
        // A known prefix ("导入失败：") is translated with its colon; the detail behind it is looked up
        // on its own and kept as it stands when it is not known.
        const QString prefix = source.left(colon + 1).normalized(QString::NormalizationForm_C);
        if (const auto hit = dictionary.constFind(prefix); hit != dictionary.constEnd())
            return typeset(hit.value()) + u' ' +
                   localizeWith(source.mid(colon + 1), dictionary, dynamic, suffixConnector, typeset, language);
        // Any other label is kept when the whole rest is a known text.
        const QString tail = source.mid(colon + 1).normalized(QString::NormalizationForm_C);
        if (const auto hit = dictionary.constFind(tail); hit != dictionary.constEnd())
            return source.left(colon) + typeset(suffixConnector + hit.value());
    }

    // Qt's English words need no translation.
    if (language != InterfaceLanguage::english)
        if (std::optional<QString> words = translatedQtWords(source, language, typeset)) return *words;

    QString out = source;
    out.replace(QStringLiteral(" 秒"), QStringLiteral(" s"));
    return out;
}

QString localizeFrench(const QString& source, const QHash<QString, QString>& dictionary, Typeset typeset) {
    return localizeWith(source, dictionary, frenchRules(), QStringLiteral(" : "), typeset, InterfaceLanguage::french);
}

}  // namespace

QString UIStrings::choose(const QString& chinese, const QString& english, const QString& french) {
    switch (effectiveLanguage(InterfaceSettings::shared().language())) {
    case InterfaceLanguage::chinese: return chinese;
    case InterfaceLanguage::french: return frenchTypography(french);
    default: return english;
    }
}

QString UIStrings::text(const QString& source) { return shown(source, InterfaceSettings::shared().language()); }

QString UIStrings::shown(const QString& source, InterfaceLanguage language) {
    if (effectiveLanguage(language) == InterfaceLanguage::french)
        return localizeFrench(source, french(), &UIStrings::frenchTypography);
    return translated(source, language);
}

QString UIStrings::frenchTypography(const QString& text) {
    constexpr QChar noBreak(0x00A0);
    const auto isSpace = [](QChar c) { return c == u' ' || c == QChar(0x00A0) || c == QChar(0x202F); };
    QString out;
    out.reserve(text.size() + 4);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        const QChar next = i + 1 < text.size() ? text.at(i + 1) : QChar();
        const QChar previous = out.isEmpty() ? QChar() : out.back();
        if (c == u' ') {
            const bool beforeMark = next == u':' || next == u';' || next == u'?' || next == u'!' || next == u'»';
            out += beforeMark || previous == u'«' ? noBreak : c;
        } else if (c == u'\'' && previous.isLetter() && next.isLetter()) {
            out += QChar(0x2019);
        } else if (c == u'»' && !previous.isNull() && !isSpace(previous)) {
            out += noBreak;
            out += c;
        } else {
            out += c;
            if (c == u'«' && !next.isNull() && !isSpace(next)) out += noBreak;
        }
    }
    return out;
}

QString UIStrings::translated(const QString& source, InterfaceLanguage language) {
    switch (effectiveLanguage(language)) {
    case InterfaceLanguage::chinese: return withChineseQtWords(source);
    case InterfaceLanguage::french: return localize(source, french(), InterfaceLanguage::french);
    default: return localize(source, english(), InterfaceLanguage::english);
    }
}

QString UIStrings::localize(const QString& source, const QHash<QString, QString>& dictionary,
                            InterfaceLanguage language) {
    if (language == InterfaceLanguage::french) return localizeFrench(source, dictionary, &asItStands);
    return localizeWith(source, dictionary, englishRules(), QStringLiteral(": "), &asItStands,
                        InterfaceLanguage::english);
}

void UIStrings::prepare() {
    tables();
    englishRules();
    frenchRules();
}

const QHash<QString, QString>& UIStrings::english() { return tables().english; }
const QHash<QString, QString>& UIStrings::french() { return tables().french; }

}  // namespace velquin
