#include "app/tutor-lesson/merid_math_bridge.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <charconv>
#include <cmath>

namespace velquin::MeridMathBridge {

bool isFormulaCandidate(const QString& text) {
    if (text.contains(QLatin1String("\\(")) || text.contains(QLatin1String("\\[")) ||
        text.contains(QLatin1String("$$")))
        return true;
    return text.count(QLatin1Char('$')) >= 2;
}

QString backgroundHex(bool dark, bool reminderCard) {
    if (reminderCard) return dark ? QStringLiteral("4A302A") : QStringLiteral("F9E5D9");
    return dark ? QStringLiteral("2B2825") : QStringLiteral("FFFDF8");
}

QString renderKey(const QString& text, qreal fontSize, bool dark, const QString& backgroundHex) {
    const QChar nul(u'\0');
    return text + nul + decimal(fontSize) + nul + (dark ? QStringLiteral("true") : QStringLiteral("false")) + nul +
           backgroundHex;
}

std::optional<QString> jsonStringLiteral(const QString& text) {
    // Lone surrogates have no UTF-8 form: refuse them rather than send a changed text.
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            ++i;
            continue;
        }
        if (c.isSurrogate()) return std::nullopt;
    }
    const QByteArray json = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    if (json.size() < 4 || !json.startsWith("[\"") || !json.endsWith("\"]")) return std::nullopt;
    QString literal = QString::fromUtf8(json.mid(1, json.size() - 2));
    // Valid in JSON as they stand, but older script engines end a string literal at them.
    literal.replace(QChar(0x2028), QStringLiteral("\\u2028"));
    literal.replace(QChar(0x2029), QStringLiteral("\\u2029"));
    return literal;
}

QString decimal(qreal value) {
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, static_cast<double>(value));
    if (result.ec != std::errc()) return QString::number(value);
    QString text = QString::fromLatin1(buffer, result.ptr - buffer);
    if (std::isfinite(value) && !text.contains(QLatin1Char('.')) && !text.contains(QLatin1Char('e')))
        text += QStringLiteral(".0");
    return text;
}

std::optional<QString> renderScript(const QString& text, qreal fontSize, bool dark, const QString& backgroundHex) {
    const std::optional<QString> literal = jsonStringLiteral(text);
    if (!literal) return std::nullopt;
    // NaN compares false both ways: it takes the smallest size.
    const qreal size = fontSize >= minimumFontSize ? std::min(fontSize, maximumFontSize) : minimumFontSize;
    return QStringLiteral("window.meridRender(") + *literal + QLatin1Char(',') + decimal(size) + QLatin1Char(',') +
           (dark ? QStringLiteral("true") : QStringLiteral("false")) + QStringLiteral(",\"#") + backgroundHex +
           QStringLiteral("\");");
}

namespace {

std::optional<double> number(const QVariant& body) {
    // The channel hands whole numbers over as integers and the rest as doubles.
    switch (body.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Double:
    case QMetaType::Float:
        return body.toDouble();
    default:
        return std::nullopt;
    }
}

}  // namespace

std::optional<qreal> acceptedHeight(const QVariant& body, qreal current) {
    const std::optional<double> height = number(body);
    if (!height || !std::isfinite(*height) || *height < 20 || *height > 8000) return std::nullopt;
    if (std::abs(*height - current) <= 1) return std::nullopt;
    return *height;
}

qreal viewHeight(qreal measured) { return std::clamp(measured, minimumViewHeight, maximumViewHeight); }

std::optional<int> wheelPosition(const QVariant& body, int current, int maximum) {
    const std::optional<double> delta = number(body);
    if (!delta || !std::isfinite(*delta)) return std::nullopt;
    const double target = std::clamp(current + *delta, 0.0, static_cast<double>(std::max(maximum, 0)));
    const int position = static_cast<int>(std::lround(target));
    if (std::abs(target - current) <= 0.1 || position == current) return std::nullopt;
    return position;
}

}  // namespace velquin::MeridMathBridge
