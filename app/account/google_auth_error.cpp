#include "app/account/google_auth_error.h"

#include "app/account/account_service_error.h"

namespace velquin {

QString GoogleAuthError::message() const {
    switch (case_) {
    case Case::googleExchange:
        return QStringLiteral("Google 令牌交换失败（HTTP ") + QString::number(status_) + QStringLiteral("，") + code_ +
               QStringLiteral("）。请检查 OAuth 客户端类型与回调。");
    case Case::brokerRejected:
        return QStringLiteral("Orvel 身份验证失败（HTTP ") + QString::number(status_) + QStringLiteral("，") + code_ +
               QStringLiteral("）。");
    case Case::invalidResponse: return QStringLiteral("身份服务返回内容无效。");
    case Case::browserUnavailable: return QStringLiteral("无法启动系统浏览器。");
    case Case::timeout: return QStringLiteral("授权等待超时，请重试。");
    case Case::authorizationDenied: return QStringLiteral("Google 授权已被拒绝或取消。");
    }
    return {};
}

QString GoogleAuthError::safeCode(const std::optional<QString>& code, const QString& fallback) {
    if (!code) return fallback;
    return AccountServiceError::isValidCode(*code) ? *code : QStringLiteral("unknown");
}

}  // namespace velquin
