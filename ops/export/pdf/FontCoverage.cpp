// SPDX-FileCopyrightText: 2026 Quillbarrow SMS Desk developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "ops/export/pdf/FontCoverage.h"

#include <fontconfig/fontconfig.h>
#include <memory>
#include <mutex>

namespace {

// The characters of every installed font together; fontconfig falls back to any of them. The set
// is freed when the program ends: fontconfig keeps its parts as offsets from the set, which leak
// checkers can not follow.
FcCharSet* installedCharacters()
{
    static const std::unique_ptr<FcCharSet, decltype(&FcCharSetDestroy)> set(FcCharSetCreate(), &FcCharSetDestroy);
    static std::once_flag once;
    std::call_once(once, [] {
        FcCharSet* all = set.get();
        FcPattern* any = FcPatternCreate();
        FcObjectSet* objects = FcObjectSetBuild(FC_CHARSET, nullptr);
        if (FcFontSet* fonts = FcFontList(nullptr, any, objects)) {
            for (int i = 0; i < fonts->nfont; ++i) {
                FcCharSet* characters = nullptr;
                if (FcPatternGetCharSet(fonts->fonts[i], FC_CHARSET, 0, &characters) == FcResultMatch)
                    FcCharSetMerge(all, characters, nullptr);
            }
            FcFontSetDestroy(fonts);
        }
        FcObjectSetDestroy(objects);
        FcPatternDestroy(any);
    });
    return set.get();
}

// The characters the message text once replaced by "[EMOJI]", and the pictographs of the
// supplementary planes and the other symbols that only an emoji font may have.
bool isEmojiLike(char32_t c)
{
    if (c >= 0xE000 && c <= 0xE537)
        return true;
    if (c >= 0x1F000 && c <= 0x1FAFF)
        return true;
    return QChar::category(c) == QChar::Symbol_Other;
}

} // namespace

bool anyFontHasCharacter(char32_t character)
{
    return FcCharSetHasChar(installedCharacters(), character) != FcFalse;
}

QString withDrawableEmoji(const QString& text)
{
    QString result;
    qsizetype copied = 0;
    for (qsizetype i = 0; i < text.size();) {
        char32_t c = text.at(i).unicode();
        qsizetype units = 1;
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            c = QChar::surrogateToUcs4(text.at(i), text.at(i + 1));
            units = 2;
        }
        if (c >= 0x2000 && isEmojiLike(c) && !anyFontHasCharacter(c)) {
            result.append(QStringView(text).sliced(copied, i - copied));
            result.append(QLatin1String("[EMOJI]"));
            copied = i + units;
        }
        i += units;
    }
    if (copied == 0)
        return text;
    result.append(QStringView(text).sliced(copied));
    return result;
}
