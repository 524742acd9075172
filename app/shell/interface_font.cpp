#include "app/shell/interface_font.h"

#include <QStringList>

#include <fontconfig/fontconfig.h>

#include <memory>

namespace velquin {

namespace {

bool hasHan(FcPattern* font) {
    FcCharSet* characters = nullptr;
    return FcPatternGetCharSet(font, FC_CHARSET, 0, &characters) == FcResultMatch &&
           FcCharSetHasChar(characters, 0x4E00);
}

bool drawsLatin(FcPattern* font) {
    FcCharSet* characters = nullptr;
    return FcPatternGetCharSet(font, FC_CHARSET, 0, &characters) == FcResultMatch &&
           FcCharSetHasChar(characters, u'A') && FcCharSetHasChar(characters, 0x2019) &&
           FcCharSetHasChar(characters, 0x201C);
}

}  // namespace

QFont InterfaceFont::latinFirst(const QFont& font) {
    const std::unique_ptr<FcPattern, decltype(&FcPatternDestroy)> request(FcPatternCreate(), &FcPatternDestroy);
    FcPatternAddString(request.get(), FC_FAMILY, reinterpret_cast<const FcChar8*>(font.family().toUtf8().constData()));
    FcConfigSubstitute(nullptr, request.get(), FcMatchPattern);
    FcDefaultSubstitute(request.get());
    FcResult result = FcResultNoMatch;
    const std::unique_ptr<FcFontSet, decltype(&FcFontSetDestroy)> fonts(
        FcFontSort(nullptr, request.get(), FcFalse, nullptr, &result), &FcFontSetDestroy);
    if (!fonts || fonts->nfont == 0 || !hasHan(fonts->fonts[0])) return font;
    for (int i = 1; i < fonts->nfont; ++i) {
        FcPattern* candidate = fonts->fonts[i];
        FcChar8* family = nullptr;
        if (hasHan(candidate) || !drawsLatin(candidate) ||
            FcPatternGetString(candidate, FC_FAMILY, 0, &family) != FcResultMatch)
            continue;
        QFont latin = font;
        latin.setFamilies({QString::fromUtf8(reinterpret_cast<const char*>(family)), font.family()});
        return latin;
    }
    return font;
}

}  // namespace velquin
