#include "tests/support/local_service.h"

#include <QCryptographicHash>
#include <QHash>
#include <QJsonDocument>
#include <QRandomGenerator>

#include <memory>

#include "tests/support/hosted_stub.h"

namespace testsupport {

namespace {

// The four answer languages of the requests; anything else is answered in English.
enum class Language { simplifiedChinese, traditionalChinese, english, french };

Language languageOf(const QJsonObject& request) {
    static const QHash<QString, Language> codes{{QStringLiteral("zh-CN"), Language::simplifiedChinese},
                                                {QStringLiteral("zh-TW"), Language::traditionalChinese},
                                                {QStringLiteral("en"), Language::english},
                                                {QStringLiteral("fr"), Language::french}};
    return codes.value(request.value(QStringLiteral("language")).toString(), Language::english);
}

QString pick(Language language, const char* simplified, const char* traditional, const char* english,
             const char* french) {
    switch (language) {
    case Language::simplifiedChinese: return QString::fromUtf8(simplified);
    case Language::traditionalChinese: return QString::fromUtf8(traditional);
    case Language::english: return QString::fromUtf8(english);
    case Language::french: return QString::fromUtf8(french);
    }
    return QString::fromUtf8(english);
}

QString sampleLine(Language language) {
    return pick(language, "【本地示例】这不是 Orvel AI 的回答：由 scripts/run --local-service 的本地替身写成。",
                "【本地示例】這不是 Orvel AI 的回答：由 scripts/run --local-service 的本地替身寫成。",
                "[Local sample] Not an answer of Orvel AI: the local stand-in of scripts/run --local-service wrote it.",
                "[Exemple local] Ce n'est pas une réponse d'Orvel AI : le remplaçant local de "
                "scripts/run --local-service l'a écrite.");
}

// At most 120 characters of the asked text, on one line.
QString quoted(const QString& text) {
    QString line = text.simplified();
    if (line.size() > 120) line = line.left(119) + QChar(0x2026);
    return line;
}

QString studyAnswer(const QJsonObject& request, Language language) {
    const QString mode = request.value(QStringLiteral("mode")).toString();
    QString body;
    if (mode == QLatin1String("translate")) {
        body = pick(language, "这里会是「%1」的译文。", "這裡會是「%1」的譯文。",
                    "The translation of \u201c%1\u201d would be here.", "La traduction de « %1 » serait ici.");
    } else if (mode == QLatin1String("explain")) {
        body = pick(language, "这里会是对「%1」的讲解：先说它是什么，再说为什么，最后举一个例子。",
                    "這裡會是對「%1」的講解：先說它是什麼，再說為什麼，最後舉一個例子。",
                    "An explanation of \u201c%1\u201d would be here: what it is, why, and one example.",
                    "Une explication de « %1 » serait ici : ce que c'est, pourquoi, et un exemple.");
    } else {
        body = pick(language, "这里会是关于「%1」的一道练习题，以及它的完整解答。",
                    "這裡會是關於「%1」的一道練習題，以及它的完整解答。",
                    "A practice question on \u201c%1\u201d would be here, with its worked answer.",
                    "Un exercice sur « %1 » serait ici, avec sa solution détaillée.");
    }
    return sampleLine(language) + QStringLiteral("\n\n") +
           body.arg(quoted(request.value(QStringLiteral("text")).toString()));
}

// A lesson in the four short sections the lesson view draws, with formulas inline and displayed.
QString lessonText(Language language) {
    const QString sections =
        pick(language,
             "【先说人话】导数说的是：函数在某一点变化得有多快。\n\n"
             "【关键概念】导数（derivative）是差商的极限：$$f'(x) = \\lim_{h\\to 0} \\frac{f(x+h)-f(x)}{h}$$\n\n"
             "【举个例子】$f(x) = x^{2}$ 时，$\\frac{(x+h)^{2}-x^{2}}{h} = 2x + h$，所以 $f'(x) = 2x$。\n\n"
             "【记住这一点】导数是极限，不是某一个差商。",
             "【先说人话】導數說的是：函數在某一點變化得有多快。\n\n"
             "【关键概念】導數（derivative）是差商的極限：$$f'(x) = \\lim_{h\\to 0} \\frac{f(x+h)-f(x)}{h}$$\n\n"
             "【举个例子】$f(x) = x^{2}$ 時，$\\frac{(x+h)^{2}-x^{2}}{h} = 2x + h$，所以 $f'(x) = 2x$。\n\n"
             "【记住这一点】導數是極限，不是某一個差商。",
             "## Quick idea\nThe derivative says how fast a function changes at one point.\n\n"
             "## Key concept\nThe derivative is the limit of the difference quotient: "
             "$$f'(x) = \\lim_{h\\to 0} \\frac{f(x+h)-f(x)}{h}$$\n\n"
             "## Example\nFor $f(x) = x^{2}$: $\\frac{(x+h)^{2}-x^{2}}{h} = 2x + h$, so $f'(x) = 2x$.\n\n"
             "## Remember\nThe derivative is a limit, not one difference quotient.",
             "## Comprendre d'abord\nLa dérivée dit à quelle vitesse une fonction change en un point.\n\n"
             "## Notion clé\nLa dérivée est la limite du taux d'accroissement : "
             "$$f'(x) = \\lim_{h\\to 0} \\frac{f(x+h)-f(x)}{h}$$\n\n"
             "## Exemple\nPour $f(x) = x^{2}$ : $\\frac{(x+h)^{2}-x^{2}}{h} = 2x + h$, donc $f'(x) = 2x$.\n\n"
             "## À retenir\nLa dérivée est une limite, pas un seul taux d'accroissement.");
    return sampleLine(language) + QStringLiteral("\n\n") + sections;
}

// One reply of the tutor's contract for the request's mode.
QJsonObject tutorReply(const QJsonObject& request, Language language, int sequence) {
    const QString mode = request.value(QStringLiteral("mode")).toString();
    const QString line = sampleLine(language) + QStringLiteral("\n\n");
    QJsonObject reply{{QStringLiteral("schema_version"), 1}};
    if (mode == QLatin1String("quiz")) {
        // Numbered, so that no question repeats an earlier one of the session.
        reply.insert(QStringLiteral("kind"), QStringLiteral("question"));
        reply.insert(QStringLiteral("question_kind"), QStringLiteral("calculation"));
        reply.insert(QStringLiteral("text"),
                     line + pick(language, "（第 %1 题）求 $f(x) = x^{%2}$ 的导数 $f'(x)$。",
                                 "（第 %1 題）求 $f(x) = x^{%2}$ 的導數 $f'(x)$。",
                                 "(Question %1) Find the derivative $f'(x)$ of $f(x) = x^{%2}$.",
                                 "(Question %1) Calculez la dérivée $f'(x)$ de $f(x) = x^{%2}$.")
                                .arg(sequence)
                                .arg(sequence + 1));
    } else if (mode == QLatin1String("grade")) {
        reply.insert(QStringLiteral("kind"), QStringLiteral("feedback"));
        reply.insert(QStringLiteral("evaluation"), QStringLiteral("partial"));
        reply.insert(
            QStringLiteral("text"),
            line + pick(language, "示例批改：这里会先说明你答对的一步，再指出要修正的地方。",
                        "示例批改：這裡會先說明你答對的一步，再指出要修正的地方。",
                        "Sample grading: the step you got right would be named here, then what to correct.",
                        "Correction d'exemple : l'étape juste serait nommée ici, puis ce qu'il faut corriger."));
    } else if (mode == QLatin1String("summary") || mode == QLatin1String("sprint")) {
        reply.insert(QStringLiteral("kind"), mode);
        reply.insert(QStringLiteral("text"),
                     line + pick(language, "示例总结：$f'(x) = \\lim_{h\\to 0} \\frac{f(x+h)-f(x)}{h}$。",
                                 "示例總結：$f'(x) = \\lim_{h\\to 0} \\frac{f(x+h)-f(x)}{h}$。",
                                 "Sample summary: $f'(x) = \\lim_{h\\to 0} \\frac{f(x+h)-f(x)}{h}$.",
                                 "Résumé d'exemple : $f'(x) = \\lim_{h\\to 0} \\frac{f(x+h)-f(x)}{h}$."));
    } else {
        reply.insert(QStringLiteral("kind"), QStringLiteral("lesson"));
        reply.insert(QStringLiteral("text"), lessonText(language));
    }
    return reply;
}

ScriptedReply jsonReply(int status, const QJsonObject& body) {
    return ScriptedReply::json(status, QJsonDocument(body).toJson(QJsonDocument::Compact));
}

// A session token that names the account's login kind and e-mail, and the account id made from them.
QString tokenFor(const QString& kind, const QString& email) {
    return QStringLiteral("local-") +
           QString::fromLatin1(
               (kind + u':' + email).toUtf8().toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals));
}

QJsonObject accountFor(const QString& kind, const QString& email) {
    const QByteArray digest = QCryptographicHash::hash((kind + u':' + email).toUtf8(), QCryptographicHash::Sha256);
    return {{QStringLiteral("id"), QStringLiteral("local_") + QString::fromLatin1(digest.toHex().left(24))},
            {QStringLiteral("kind"), kind},
            {QStringLiteral("email"), email},
            {QStringLiteral("email_verified"), true},
            {QStringLiteral("identity_verified"), true}};
}

QString randomText(int length) {
    static const QByteArray alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    QString text;
    for (int i = 0; i < length; ++i)
        text.append(QChar(alphabet.at(int(QRandomGenerator::global()->bounded(alphabet.size())))));
    return text;
}

const QString googleEmail = QStringLiteral("google-sample@localhost");

}  // namespace

QJsonObject localSampleAnswer(const QJsonObject& request, int sequence) {
    const Language language = languageOf(request);
    if (!request.contains(QStringLiteral("model_tier")))
        return {{QStringLiteral("answer"), studyAnswer(request, language)}};
    const QJsonObject reply = tutorReply(request, language, sequence);
    return {{QStringLiteral("answer"), QString::fromUtf8(QJsonDocument(reply).toJson(QJsonDocument::Compact))}};
}

void serveLocalSamples(HostedStub& stub) {
    auto answers = std::make_shared<int>(0);
    stub.respondWith(HostedStub::answerPath, [answers](const RecordedRequest& request, const ScriptedReply*) {
        return jsonReply(200, localSampleAnswer(request.json(), ++*answers));
    });
    stub.respondWith(HostedStub::accountsPath, [](const RecordedRequest& request, const ScriptedReply*) {
        const QString email = request.json().value(QStringLiteral("email")).toString();
        return jsonReply(200, {{QStringLiteral("token"), tokenFor(QStringLiteral("native"), email)},
                               {QStringLiteral("email"), email}});
    });
    stub.respondWith(HostedStub::accountPath, [](const RecordedRequest& request, const ScriptedReply*) {
        const QByteArray token = request.header("authorization").mid(7);
        const QString named =
            token.startsWith("local-")
                ? QString::fromUtf8(QByteArray::fromBase64(
                      token.mid(6), QByteArray::Base64UrlEncoding | QByteArray::AbortOnBase64DecodingErrors))
                : QString();
        const qsizetype colon = named.indexOf(u':');
        if (colon <= 0)
            return jsonReply(401, {{QStringLiteral("error"),
                                    QJsonObject{{QStringLiteral("code"), QStringLiteral("unknown_session")}}}});
        return jsonReply(200, accountFor(named.left(colon), named.mid(colon + 1)));
    });
    stub.respondWith(HostedStub::verificationPath,
                     [](const RecordedRequest&, const ScriptedReply*) { return jsonReply(200, {}); });
    stub.respondWith(HostedStub::challengePath, [](const RecordedRequest&, const ScriptedReply*) {
        return jsonReply(200, {{QStringLiteral("state"), randomText(32)}, {QStringLiteral("nonce"), randomText(32)}});
    });
    stub.respondWith(HostedStub::tokenPath, [](const RecordedRequest&, const ScriptedReply*) {
        return jsonReply(200, {{QStringLiteral("id_token"), QStringLiteral("local-sample.") + randomText(160)}});
    });
    stub.respondWith(HostedStub::federatedPath, [](const RecordedRequest&, const ScriptedReply*) {
        QJsonObject reply = accountFor(QStringLiteral("google"), googleEmail);
        reply.insert(QStringLiteral("token"), tokenFor(QStringLiteral("google"), googleEmail));
        return jsonReply(200, reply);
    });
}

}  // namespace testsupport
