#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QString>

#include <optional>

namespace velquin {

// The brand constants that several windows share.
class OrvelBrand {
public:
    OrvelBrand() = delete;

    // sRGB 0.96, 0.36, 0.23, fully opaque; the same value on every read.
    static const QColor& accent();
    // The "OrvelIcon" image of the program's resources, looked up on every read; none when missing.
    static std::optional<QIcon> icon();
    // What icon() draws at `size` for a screen of `devicePixelRatio`, reading only the one picture
    // it is drawn from (the icon reads every size it has); null without the icon.
    static QPixmap iconPicture(int size, qreal devicePixelRatio);

    // An image resource of the program by name: "<name>.svg" under :/images, with the PNG sizes
    // of the desktop icon theme added for "OrvelIcon"; none when there is no such resource.
    static std::optional<QIcon> imageNamed(const QString& name);
};

}  // namespace velquin
