#include "app/account/account_service_error.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace velquin {

QString AccountServiceError::message() const {
    switch (status_) {
        case 400: return QStringLiteral("邮箱或密码不符合要求（HTTP 400）。");
        case 401: return QStringLiteral("密码错误或会话无效（HTTP 401）。");
        case 409: return QStringLiteral("邮箱已注册，请使用原账户登录（HTTP 409）。");
        case 429: return QStringLiteral("请求过于频繁，请稍后再试（HTTP 429）。");
        case 503:
            return QStringLiteral("账户服务器暂不可用（HTTP 503，") + code_ + QStringLiteral("），请勿重复注册。");
        default:
            return QStringLiteral("账户服务返回 HTTP ") + QString::number(status_) + QStringLiteral("（") + code_ +
                   QStringLiteral("）。");
    }
}

bool AccountServiceError::isValidCode(const QString& code) {
    // A plain walk over the whole text: no pattern anchor can let a trailing line break through.
    if (code.isEmpty() || code.size() > 64) return false;
    for (const QChar c : code) {
        const char16_t u = c.unicode();
        const bool allowed =
            (u >= u'A' && u <= u'Z') || (u >= u'a' && u <= u'z') || (u >= u'0' && u <= u'9') || u == u'_';
        if (!allowed) return false;
    }
    return true;
}

QString AccountServiceError::codeFromBody(const QByteArray& body) {
    QString code = QStringLiteral("service_unavailable");
    const QJsonDocument document = QJsonDocument::fromJson(body);
    const QJsonValue error = document.isObject() ? document.object().value(QStringLiteral("error")) : QJsonValue();
    if (error.isObject()) {
        const QJsonValue named = error.toObject().value(QStringLiteral("code"));
        if (named.isString()) code = named.toString();
    }
    return isValidCode(code) ? code : QStringLiteral("unknown");
}

}  // namespace velquin
