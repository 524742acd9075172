#include "app/account/history_error.h"

namespace velquin {

QString HistoryError::message() const {
    QString text;
    switch (kind_) {
    case Kind::encodingFailed: text = QStringLiteral("学习历史无法编码，本次更改未保存。"); break;
    case Kind::tooLarge:
        text = QStringLiteral("学习历史将超过 8,000,000 字节的本地容量限制，本次更改未保存。请删除部分旧记录。");
        break;
    case Kind::setAsideFailed:
        text = QStringLiteral("无法读取的学习历史文件未能另存，为保护原文件，本次更改未保存。");
        break;
    case Kind::writeFailed: text = QStringLiteral("学习历史保存失败，本次更改未保存。"); break;
    }
    if (!detail_.isEmpty()) text += QStringLiteral("（") + detail_ + QStringLiteral("）");
    return text;
}

}  // namespace velquin
