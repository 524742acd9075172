#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSet>
#include <cerrno>
#include <gtest/gtest.h>

#include "app/shell/interface_settings.h"
#include "app/shell/tests/interface_source_texts.h"
#include "app/shell/ui_strings.h"
#include "base/errors.h"
#include "base/files.h"
#include "base/process.h"

namespace velquin {
namespace {

QString s(const char* utf8) { return QString::fromUtf8(utf8); }

QString en(const char* source) { return UIStrings::translated(s(source), InterfaceLanguage::english); }
QString fr(const char* source) { return UIStrings::translated(s(source), InterfaceLanguage::french); }

TEST(UIStringsTable, HoldsExactlyTheInterfaceTextsWithBothLanguages) {
    QSet<QString> expected;
    for (const char16_t* text : test::kInterfaceSourceTexts) expected.insert(QString::fromUtf16(text));
    ASSERT_EQ(expected.size(), qsizetype(test::kInterfaceSourceTexts.size())) << "the expected list has duplicates";

    QFile file(QStringLiteral(":/strings/ui_strings.json"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QJsonArray rows = QJsonDocument::fromJson(file.readAll()).object().value(QStringLiteral("strings")).toArray();
    QSet<QString> found;
    for (const QJsonValue& row : rows) {
        const QJsonObject entry = row.toObject();
        const QString zh = entry.value(QStringLiteral("zh")).toString();
        EXPECT_FALSE(found.contains(zh)) << "duplicate row: " << zh.toStdString();
        found.insert(zh);
        EXPECT_EQ(entry.keys(), (QStringList{"en", "fr", "zh"})) << zh.toStdString();
        for (const char* language : {"zh", "en", "fr"})
            EXPECT_FALSE(entry.value(QLatin1String(language)).toString().trimmed().isEmpty())
                << language << " of " << zh.toStdString();
    }
    EXPECT_EQ(found, expected);
    for (const QString& key : expected) {
        if (!found.contains(key)) ADD_FAILURE() << "missing: " << key.toStdString();
    }

    const QList<QString> englishKeys = UIStrings::english().keys();
    const QList<QString> frenchKeys = UIStrings::french().keys();
    EXPECT_EQ(QSet<QString>(englishKeys.begin(), englishKeys.end()), expected);
    EXPECT_EQ(QSet<QString>(frenchKeys.begin(), frenchKeys.end()), expected);
}

TEST(UIStringsTable, KeepsTheFixedWordings) {
    EXPECT_EQ(en("保存"), "Save");
    EXPECT_EQ(fr("保存"), "Enregistrer");
    EXPECT_EQ(en("立即生效并记住选择；不会改变回答语言。"),
              "Applies immediately and remembers your choice. Answer language stays separate.");
    EXPECT_EQ(fr("立即生效并记住选择；不会改变回答语言。"),
              s("S'applique immédiatement et mémorise votre choix. La langue de réponse reste distincte."));
    EXPECT_EQ(en("Orvel：点击打开选中文字"), "Orvel: click to open the selected text");
    EXPECT_EQ(fr("使用刚才的结果 · 未重复请求"), s("Utilisation du résultat précédent · Sans nouvelle requête"));
}

TEST(UIStringsLookup, ChineseComesBackUnchanged) {
    for (const char* text : {"保存", "用时 3.2 秒", "微信：已收到鼠标按下，等待拖选完成。", "未知文字"})
        EXPECT_EQ(UIStrings::translated(s(text), InterfaceLanguage::chinese), s(text));
}

TEST(UIStringsLookup, EachRuleRewritesItsPattern) {
    EXPECT_EQ(en("微信：已收到鼠标按下，等待拖选完成。"), s("微信: mouse down received; waiting for selection."));
    EXPECT_EQ(fr("微信：已收到鼠标按下，等待拖选完成。"), s("微信 : clic de souris reçu ; en attente de la sélection."));
    EXPECT_EQ(en("正在读取选区：文本编辑器"), s("Reading selection: 文本编辑器"));
    EXPECT_EQ(fr("正在读取选区：Firefox"), s("Lecture de la sélection : Firefox"));
    EXPECT_EQ(en("Firefox：已读取 42 个字符。点击选区旁 AI 图标打开；尚未调用模型。"),
              s("Firefox: 42 characters read. Click the AI icon; no model request yet."));
    EXPECT_EQ(fr("Firefox：已读取 42 个字符。点击选区旁 AI 图标打开；尚未调用模型。"),
              s("Firefox : 42 caractères lus. Cliquez sur l'icône IA ; aucune requête modèle pour l'instant."));
    EXPECT_EQ(en("系统文本服务已交付 7 个字符；这条入口不需要辅助功能授权。"),
              s("Text service delivered 7 characters; no Accessibility permission needed."));
    EXPECT_EQ(fr("系统文本服务已交付 7 个字符；这条入口不需要辅助功能授权。"),
              s("Le service de texte a fourni 7 caractères ; aucune autorisation Accessibilité n'est nécessaire."));
    EXPECT_EQ(en("无法访问系统密钥环：集合已锁定"), s("Could not access the system keyring: 集合已锁定"));
    EXPECT_EQ(fr("无法访问系统密钥环：集合已锁定"), s("Impossible d'accéder au trousseau de clés du système : 集合已锁定"));
    EXPECT_EQ(en("模型服务暂时不可用（HTTP 503），请稍后重试。"), s("Model service unavailable (HTTP 503). Try again later."));
    EXPECT_EQ(fr("模型服务暂时不可用（HTTP 503），请稍后重试。"),
              s("Service modèle indisponible (HTTP 503). Réessayez plus tard."));
    EXPECT_EQ(en("请求失败（HTTP 418）。"), s("Request failed (HTTP 418)."));
    EXPECT_EQ(fr("请求失败（HTTP 418）。"), s("Échec de la requête (HTTP 418)."));
}

TEST(UIStringsLookup, MessagesWithAVariablePartOrAKnownPrefix) {
    struct Case {
        const char* source;
        const char* english;
        const char* french;
    };
    const Case cases[] = {
        // A number, a code and a file name are carried over.
        {"Orvel AI 请求失败（HTTP 502）。", "Orvel AI request failed (HTTP 502).",
         "Échec de la requête IA Orvel (HTTP 502)."},
        {"账户服务返回 HTTP 418（teapot）。", "The account service returned HTTP 418 (teapot).",
         "Le service de comptes a renvoyé HTTP 418 (teapot)."},
        {"已导入 PDF 第 3–7 页。请核对文字顺序。", "Imported PDF pages 3–7. Check the text order.",
         "Pages 3–7 du PDF importées. Vérifiez l'ordre du texte."},
        {"无法读取的学习历史文件已原样另存为 h.json.unreadable-1。",
         "The unreadable history file was set aside unchanged as h.json.unreadable-1.",
         "Le fichier d'historique illisible a été mis de côté tel quel sous le nom h.json.unreadable-1."},
        // A name is one sentence: a second one behind it is not taken into the name.
        {"无法读取的学习历史文件已原样另存为 h.json。学习历史保存失败，本次更改未保存。",
         "无法读取的学习历史文件已原样另存为 h.json。学习历史保存失败，本次更改未保存。",
         "无法读取的学习历史文件已原样另存为 h.json。学习历史保存失败，本次更改未保存。"},
        // The settings file: moved aside, a failed write with the system's words, and both at once.
        {"无法读取的设置文件已原样另存为 defaults.json.unreadable-1。",
         "The unreadable settings file was set aside unchanged as defaults.json.unreadable-1.",
         "Le fichier de réglages illisible a été mis de côté tel quel sous le nom defaults.json.unreadable-1."},
        {"无法读取的设置文件已原样另存为 d.json。设置保存失败，更改只在本次运行中有效。（No space left on device）",
         "The unreadable settings file was set aside unchanged as d.json. Saving settings failed; changes last only "
         "until Orvel quits. (No space left on device)",
         "Le fichier de réglages illisible a été mis de côté tel quel sous le nom d.json. L'enregistrement des réglages "
         "a échoué ; les modifications ne durent que jusqu'à la fermeture d'Orvel. (No space left on device)"},
        {"无法读取的设置文件未能另存，为保护原文件，设置更改只在本次运行中有效。（Read-only file system）",
         "The unreadable settings file couldn't be set aside, so to protect it, changes last only until Orvel quits. "
         "(Read-only file system)",
         "Le fichier de réglages illisible n'a pas pu être mis de côté ; pour le protéger, les modifications ne durent "
         "que jusqu'à la fermeture d'Orvel. (Read-only file system)"},
        {"gpt · 2.5 秒 · tokens：输入 120 / 输出 48", "gpt · 2.5 s · tokens: 120 in / 48 out",
         "gpt · 2.5 s · jetons : 120 en entrée / 48 en sortie"},
        // A known prefix with a known detail, an unknown detail, and a detail that is itself a rule.
        {"导入失败：请选择 DOCX 或 PPTX 格式。", "Import failed: Choose a DOCX or PPTX file.",
         "Échec de l’importation : Choisissez un fichier DOCX ou PPTX."},
        {"导入失败：磁盘已满", "Import failed: 磁盘已满", "Échec de l’importation : 磁盘已满"},
        {"导入失败：无法以 UTF-8 读取文件“笔记：一.txt”：文本编码不受支持。",
         "Import failed: Can't read “笔记：一.txt” as UTF-8: unsupported text encoding.",
         "Échec de l’importation : Impossible de lire « 笔记：一.txt » en UTF-8 : encodage non pris en charge."},
        {"Google 登录失败：无法访问系统密钥环：错误代码 -4",
         "Google sign-in failed: Could not access the system keyring: error code -4",
         "Échec de connexion Google : Impossible d'accéder au trousseau de clés du système : code d'erreur -4"},
        // A message with a line of program output after it keeps that output.
        {"系统没有完成授权重置。请在桌面的辅助功能设置中关闭再打开辅助技术，然后重新启动正在运行的这一份 Orvel。\n"
         "tccutil: 失败\n第二行",
         "The permission reset didn't finish. Turn assistive technologies off and on again in the desktop's "
         "accessibility settings, then restart this running Orvel.\ntccutil: 失败\n第二行",
         "La réinitialisation de l'autorisation n'a pas abouti. Désactivez puis réactivez les technologies "
         "d'assistance dans les réglages d'accessibilité du bureau, puis redémarrez cet Orvel.\ntccutil: 失败\n第二行"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(en(c.source), s(c.english)) << c.source;
        EXPECT_EQ(fr(c.source), s(c.french)) << c.source;
        EXPECT_EQ(UIStrings::translated(s(c.source), InterfaceLanguage::chinese), s(c.source));
    }
}

TEST(UIStringsTable, PrefixRowsEndWithTheirLanguagesColon) {
    // A prefix is joined to its detail with one space, so its own colon must end each wording.
    for (auto it = UIStrings::english().cbegin(); it != UIStrings::english().cend(); ++it) {
        if (!it.key().endsWith(QChar(0xFF1A))) continue;
        EXPECT_TRUE(it.value().endsWith(u':') && !it.value().endsWith(QStringLiteral(" :"))) << it.key().toStdString();
        EXPECT_TRUE(UIStrings::french().value(it.key()).endsWith(QStringLiteral(" :"))) << it.key().toStdString();
    }
}

TEST(UIStringsLookup, RulesNeedTheExactPunctuationAndKeepCapturesLiteral) {
    // ASCII parentheses in place of the full-width ones match no rule.
    EXPECT_EQ(en("请求失败(HTTP 418)。"), s("请求失败(HTTP 418)。"));
    // A number that is not decimal digits matches no rule either.
    EXPECT_EQ(en("请求失败（HTTP abc）。"), s("请求失败（HTTP abc）。"));
    // An application name with "\" or "$1" in it comes through as it stands.
    EXPECT_EQ(en("C:\\x $1：已收到鼠标按下，等待拖选完成。"), s("C:\\x $1: mouse down received; waiting for selection."));
}

TEST(UIStringsLookup, RulesTreatEveryLineTerminatorAlike) {
    // "$" matches before a final line break, CR LF included; the break stays.
    EXPECT_EQ(en("请求失败（HTTP 418）。\n"), s("Request failed (HTTP 418).\n"));
    EXPECT_EQ(en("请求失败（HTTP 418）。\r\n"), s("Request failed (HTTP 418).\r\n"));
    EXPECT_EQ(fr("正在读取选区：Kate\r\n"), s("Lecture de la sélection : Kate\r\n"));
    // A captured name does not run across a line break of any kind.
    EXPECT_EQ(en("正在读取选区：A\r\nB"), s("正在读取选区：A\r\nB"));
    EXPECT_EQ(en("正在读取选区：A\u2028B"), s("正在读取选区：A\u2028B"));
    EXPECT_EQ(en("甲\r乙：已收到鼠标按下，等待拖选完成。"), s("甲\r乙：已收到鼠标按下，等待拖选完成。"));
}

TEST(UIStringsLookup, SplitsAtTheFirstFullWidthColonOnly) {
    EXPECT_EQ(en("任意标签：保存"), s("任意标签: Save"));
    EXPECT_EQ(fr("任意标签：保存"), s("任意标签 : Enregistrer"));
    EXPECT_EQ(en("任意标签：不是表里的字"), s("任意标签：不是表里的字"));
    // The whole remainder after the first colon must be a key, its own colon included.
    EXPECT_EQ(en("甲：乙：保存"), s("甲：乙：保存"));
    EXPECT_EQ(en("甲：Orvel：点击打开选中文字"), s("甲: Orvel: click to open the selected text"));
    // The tail is not trimmed.
    EXPECT_EQ(en("标签： 保存"), s("标签： 保存"));
}

TEST(UIStringsLookup, UnknownTextStaysChineseExceptSeconds) {
    EXPECT_EQ(en("Orvel AI · 3.2 秒"), s("Orvel AI · 3.2 s"));
    EXPECT_EQ(fr("用时 12 秒，共 2 秒"), s("用时 12 s，共 2 s"));
    EXPECT_EQ(en("用时 3秒"), s("用时 3秒"));
    EXPECT_EQ(en("完全不认识的句子。"), s("完全不认识的句子。"));
}

TEST(UIStringsLookup, AnExactKeyBeatsRulesAndTheColonSplit) {
    const QString ruleText = s("微信：已收到鼠标按下，等待拖选完成。");
    const QString colonText = s("标签：保存");
    const QHash<QString, QString> table{
        {ruleText, s("exact")}, {colonText, s("exact too")}, {s("保存"), s("Save")}};
    EXPECT_EQ(UIStrings::localize(ruleText, table, InterfaceLanguage::english), "exact");
    EXPECT_EQ(UIStrings::localize(colonText, table, InterfaceLanguage::french), "exact too");
    EXPECT_EQ(UIStrings::localize(s("别的：保存"), table, InterfaceLanguage::french), s("别的 : Save"));
    // A prefix row translates the prefix; its detail is translated when known and kept otherwise.
    const QHash<QString, QString> prefixed{{s("甲失败："), s("A failed:")}, {s("保存"), s("Save")}};
    EXPECT_EQ(UIStrings::localize(s("甲失败：保存"), prefixed, InterfaceLanguage::english), s("A failed: Save"));
    EXPECT_EQ(UIStrings::localize(s("甲失败：别的"), prefixed, InterfaceLanguage::english), s("A failed: 别的"));
    EXPECT_EQ(UIStrings::localize(s("甲失败：甲失败：保存"), prefixed, InterfaceLanguage::french), s("A failed: A failed: Save"));
    // A table without "保存" leaves it Chinese.
    EXPECT_EQ(UIStrings::localize(s("保存"), {}, InterfaceLanguage::english), s("保存"));
}

TEST(UIStringsFrench, TypographyKeepsMarksWithTheirWordsAndOneApostrophe) {
    const QString nb = QString(QChar(0x00A0));
    struct Case {
        const char* text;
        QString shown;
    };
    const Case cases[] = {
        {"cliquez sur « Importer un fichier » puis",
         s("cliquez sur «") + nb + s("Importer un fichier") + nb + s("» puis")},
        {"«Coller»", s("«") + nb + s("Coller") + nb + s("»")},
        {"Langue : français ; prêt ? oui !",
         s("Langue") + nb + s(": français") + nb + s("; prêt") + nb + s("? oui") + nb + s("!")},
        {"d'apprentissage d’Orvel l'interface", s("d’apprentissage d’Orvel l’interface")},
        // No space is added where French has none, and an apostrophe that is not between letters stays.
        {"https://orvel.example/a?b 10:30 'cité' x!", s("https://orvel.example/a?b 10:30 'cité' x!")},
        {"déjà\u00A0: ok", s("déjà\u00A0: ok")},
    };
    for (const Case& c : cases) EXPECT_EQ(UIStrings::frenchTypography(s(c.text)), c.shown) << c.text;
}

TEST(UIStringsFrench, ShownTextTypesetsTheWordingButNotTheSourcesOwnParts) {
    const QString nb = QString(QChar(0x00A0));
    const auto shown = [](const char* source) { return UIStrings::shown(s(source), InterfaceLanguage::french); };
    // The table keeps its wording; what is shown is typeset.
    EXPECT_EQ(fr("界面语言"), s("Langue de l'interface"));
    EXPECT_EQ(shown("界面语言"), s("Langue de l’interface"));
    // A rule's captured file name keeps its apostrophe and colon; the wording around it is typeset.
    EXPECT_EQ(shown("无法以 UTF-8 读取文件“l'été : 2.txt”：文本编码不受支持。"),
              s("Impossible de lire «") + nb + s("l'été : 2.txt") + nb + s("» en UTF-8") + nb +
                  s(": encodage non pris en charge."));
    // A prefix and the connector of a label.
    EXPECT_EQ(shown("导入失败：请选择 DOCX 或 PPTX 格式。"),
              s("Échec de l’importation") + nb + s(": Choisissez un fichier DOCX ou PPTX."));
    EXPECT_EQ(shown("微信：保存"), s("微信") + nb + s(": Enregistrer"));
    // Other languages are as the table has them.
    EXPECT_EQ(UIStrings::shown(s("界面语言"), InterfaceLanguage::english), s("Interface language"));
    EXPECT_EQ(UIStrings::shown(s("界面语言"), InterfaceLanguage::chinese), s("界面语言"));
}

TEST(UIStringsSystemFailures, ReachTheInterfaceInItsLanguage) {
    using base::FileError;
    const QString path = QStringLiteral("/home/ana/l'été.txt");
    struct Case {
        QString source;
        const char* english;
        const char* french;             // as shown, with its typography
        const char* chinese = nullptr;  // as shown, where it differs from the source
    };
    const Case cases[] = {
        // An error number of the system takes its row (one each stands for the rest of the table).
        {base::systemErrorText(ENOENT), "No such file or folder", "Fichier ou dossier introuvable"},
        {base::systemErrorText(EDQUOT), "Not enough disk space", "Espace disque insuffisant"},
        // A file's failure names the path as it is; its detail is translated.
        {FileError(FileError::Kind::notFound, path).message(), "File not found: /home/ana/l'été.txt",
         "Fichier introuvable\u00A0: /home/ana/l'été.txt"},
        {FileError(FileError::Kind::writeFailed, path, base::systemErrorText(ENOSPC)).message(),
         "Could not write file: /home/ana/l'été.txt: Not enough disk space",
         "Impossible d’écrire le fichier\u00A0: /home/ana/l'été.txt\u00A0: Espace disque insuffisant"},
        {FileError(FileError::Kind::readFailed, path, base::systemErrorText(EACCES)).message(),
         "Could not read file: /home/ana/l'été.txt: Permission denied",
         "Impossible de lire le fichier\u00A0: /home/ana/l'été.txt\u00A0: Accès refusé"},
        // Words of the system that have no row are carried as they came.
        {FileError(FileError::Kind::readFailed, path, QStringLiteral("Bad address")).message(),
         "Could not read file: /home/ana/l'été.txt (Bad address)",
         "Impossible de lire le fichier\u00A0: /home/ana/l'été.txt (Bad address)"},
        {base::ProcessError(base::ProcessError::Kind::failedToStart, QStringLiteral("maim"),
                            base::systemErrorText(ENOENT))
             .message(),
         "Could not start program: maim: No such file or folder",
         "Impossible de lancer le programme\u00A0: maim\u00A0: Fichier ou dossier introuvable"},
        {base::ProcessError(base::ProcessError::Kind::timedOut, QStringLiteral("tesseract")).message(),
         "Program did not finish in time: tesseract", "Le programme ne s’est pas terminé à temps\u00A0: tesseract"},
        // Inside the messages that carry them.
        {QStringLiteral("导入失败：") + FileError(FileError::Kind::notFound, path).message(),
         "Import failed: File not found: /home/ana/l'été.txt",
         "Échec de l’importation\u00A0: Fichier introuvable\u00A0: /home/ana/l'été.txt"},
        {s("学习历史保存失败，本次更改未保存。（") +
             FileError(FileError::Kind::writeFailed, path, base::systemErrorText(EROFS)).message() + s("）"),
         "Saving history failed; this change wasn't saved. (Could not write file: /home/ana/l'été.txt: The file "
         "system is read-only)",
         "L’enregistrement de l’historique a échoué\u00A0; cette modification n’a pas été enregistrée. (Impossible "
         "d’écrire le fichier\u00A0: /home/ana/l'été.txt\u00A0: Le système de fichiers est en lecture seule)"},
        // Qt's words for a network failure come in Qt's translation, alone or after a label; the
        // network layer's own words are the table's.
        {s("账户信息刷新失败：Connection closed"), "Couldn't refresh account details: Connection closed",
         "Impossible d’actualiser le compte\u00A0: Connexion fermée", "账户信息刷新失败：连接已关闭"},
        {s("Google 登录失败：Host api.orvel.app not found"), "Google sign-in failed: Host api.orvel.app not found",
         "Échec de connexion Google\u00A0: L’hôte api.orvel.app est introuvable",
         "Google 登录失败：主机 api.orvel.app 没有找到"},
        {s("Connection refused"), "Connection refused", "Connexion refusée", "连接被拒绝"},
        {s("Google 登录失败：请求超时。"), "Google sign-in failed: The request timed out.",
         "Échec de connexion Google\u00A0: La requête a expiré."},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(UIStrings::shown(c.source, InterfaceLanguage::english), s(c.english)) << c.source.toStdString();
        EXPECT_EQ(UIStrings::shown(c.source, InterfaceLanguage::french), s(c.french)) << c.source.toStdString();
        EXPECT_EQ(UIStrings::shown(c.source, InterfaceLanguage::chinese), c.chinese ? s(c.chinese) : c.source);
    }

    // Every message that carries a failure's detail: nothing Chinese is shown but the file's name.
    const QString name = s("/home/安娜/设置.json");
    const QString detail =
        s("（") + FileError(FileError::Kind::writeFailed, name, base::systemErrorText(ENOSPC)).message() + s("）");
    for (const char* carrier :
         {"学习历史保存失败，本次更改未保存。", "无法读取的学习历史文件未能另存，为保护原文件，本次更改未保存。",
          "设置保存失败，更改只在本次运行中有效。",
          "无法读取的设置文件未能另存，为保护原文件，设置更改只在本次运行中有效。",
          "无法读取的设置文件已原样另存为 d.json。设置保存失败，更改只在本次运行中有效。"})
        for (const auto language : {InterfaceLanguage::english, InterfaceLanguage::french})
            EXPECT_FALSE(UIStrings::shown(s(carrier) + detail, language)
                             .remove(name)
                             .contains(QRegularExpression(s("[\\p{Han}\u3000-\u303F\uFF00-\uFFEF]"))))
                << carrier;
}

class UIStringsCurrentLanguage : public ::testing::Test {
protected:
    void TearDown() override {
        InterfaceSettings::shared().setLanguage(InterfaceLanguage::system);
        setPreferredLanguagesSource({});
    }
};

TEST_F(UIStringsCurrentLanguage, ChooseAndTextFollowTheSharedSetting) {
    auto& settings = InterfaceSettings::shared();
    const QString zh = s("跳过"), english = s("Skip"), french = s("Passer");

    settings.setLanguage(InterfaceLanguage::french);
    EXPECT_EQ(UIStrings::choose(zh, english, french), french);
    EXPECT_EQ(UIStrings::text(s("保存")), s("Enregistrer"));

    settings.setLanguage(InterfaceLanguage::english);
    EXPECT_EQ(UIStrings::choose(zh, english, french), english);
    EXPECT_EQ(UIStrings::text(s("保存")), s("Save"));

    settings.setLanguage(InterfaceLanguage::chinese);
    EXPECT_EQ(UIStrings::choose(zh, english, french), zh);
    EXPECT_EQ(UIStrings::text(s("保存")), s("保存"));

    settings.setLanguage(InterfaceLanguage::system);
    setPreferredLanguagesSource([] { return QStringList{"de-DE", "fr-FR"}; });
    EXPECT_EQ(UIStrings::choose(zh, english, french), english);
    EXPECT_EQ(UIStrings::text(s("保存")), s("Save"));
    setPreferredLanguagesSource([] { return QStringList{"zh-Hant-TW"}; });
    EXPECT_EQ(UIStrings::choose(zh, english, french), zh);
    EXPECT_EQ(UIStrings::text(s("用时 3 秒")), s("用时 3 秒"));
    setPreferredLanguagesSource([] { return QStringList{"fr-CA"}; });
    EXPECT_EQ(UIStrings::choose(zh, english, french), french);
}

}  // namespace
}  // namespace velquin
