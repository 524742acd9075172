#include "app/shell/orvel_url.h"

#include <QByteArray>
#include <QUrl>

namespace velquin {

OrvelURLRequest orvelURLRequest(const QString& url) {
    // QUrl lower-cases the scheme and the host while parsing, so the parts are taken from the text.
    static const QString scheme = QStringLiteral("orvel-formac:");
    if (!url.startsWith(scheme)) return OrvelURLRequest::none;
    const QString rest = url.mid(scheme.size());
    if (rest.contains(u'?') || rest.contains(u'#')) return OrvelURLRequest::none;
    if (!rest.startsWith(QLatin1String("//"))) return OrvelURLRequest::none;

    const QString afterSlashes = rest.mid(2);
    const qsizetype pathStart = afterSlashes.indexOf(u'/');
    QString authority = pathStart < 0 ? afterSlashes : afterSlashes.left(pathStart);
    const QString path = pathStart < 0 ? QString() : afterSlashes.mid(pathStart);
    if (!path.isEmpty() && path != QLatin1String("/")) return OrvelURLRequest::none;

    // The host is what stands between the user part and the port.
    const qsizetype at = authority.lastIndexOf(u'@');
    if (at >= 0) authority = authority.mid(at + 1);
    const qsizetype colon = authority.lastIndexOf(u':');
    if (colon >= 0) authority = authority.left(colon);
    const QString host = QUrl::fromPercentEncoding(authority.toUtf8());

    if (host == QLatin1String("reader")) return OrvelURLRequest::reader;
    if (host == QLatin1String("direct")) return OrvelURLRequest::direct;
    return OrvelURLRequest::none;
}

}  // namespace velquin
