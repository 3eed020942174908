#include "app/win32/WindowFont.h"

#include <algorithm>
#include <cwchar>
#include <vector>

namespace win32ui {

namespace {

constexpr wchar_t kMsSansSerif[] = L"MS Sans Serif";
constexpr wchar_t kMicrosoftSansSerif[] = L"Microsoft Sans Serif";

TFont CreateWindowFont(const TFontChoice& choice, int weight) {
    LOGFONTW font{};
    font.lfHeight = -kWindowFontPixels;
    font.lfWeight = weight;
    font.lfCharSet = choice.Charset;
    font.lfOutPrecision = OUT_DEFAULT_PRECIS;
    font.lfClipPrecision = CLIP_DEFAULT_PRECIS;
    font.lfQuality = DEFAULT_QUALITY;
    font.lfPitchAndFamily = VARIABLE_PITCH | FF_SWISS;
    wcsncpy(font.lfFaceName, choice.Face.c_str(), LF_FACESIZE - 1);
    return TFont(CreateFontIndirectW(&font));
}

// The font the mapper makes of `request`: its face, and whether it shows Cyrillic: mapped with
// the Cyrillic character set, or a TrueType font with a glyph for each letter of a Russian text
// (a bitmap font maps Unicode through its code page, so only its character set tells).
TMappedFace ProbeWithTheMapper(const TFontChoice& request) {
    const TFont font = CreateWindowFont(request, FW_NORMAL);
    TMappedFace mapped;
    if (!font) {
        return mapped;
    }
    const HDC screen = GetDC(nullptr);
    const HGDIOBJ previous = SelectObject(screen, font.Get());
    wchar_t face[LF_FACESIZE] = {};
    GetTextFaceW(screen, LF_FACESIZE, face);
    mapped.Face = face;
    TEXTMETRICW metrics{};
    GetTextMetricsW(screen, &metrics);
    const std::wstring sample = L"Путь к обновляемой программе: Идет обновление";
    std::vector<WORD> glyphs(sample.size());
    const bool allGlyphs =
        GetGlyphIndicesW(screen, sample.c_str(), static_cast<int>(sample.size()), glyphs.data(),
                         GGI_MARK_NONEXISTING_GLYPHS) != GDI_ERROR &&
        std::find(glyphs.begin(), glyphs.end(), 0xFFFF) == glyphs.end();
    mapped.Cyrillic = GetTextCharset(screen) == RUSSIAN_CHARSET ||
                      ((metrics.tmPitchAndFamily & TMPF_TRUETYPE) != 0 && allGlyphs);
    SelectObject(screen, previous);
    ReleaseDC(nullptr, screen);
    return mapped;
}

bool Is(const std::wstring& face, const wchar_t* name) {
    return _wcsicmp(face.c_str(), name) == 0;
}

} // namespace

TFontChoice ChooseWindowFont(const TFontProbe& probe) {
    for (const BYTE charset : {BYTE{RUSSIAN_CHARSET}, BYTE{DEFAULT_CHARSET}}) {
        const TFontChoice choice{kMsSansSerif, charset};
        const TMappedFace mapped = probe(choice);
        if (Is(mapped.Face, kMsSansSerif) && mapped.Cyrillic) {
            return choice;
        }
    }
    const TFontChoice twin{kMicrosoftSansSerif, RUSSIAN_CHARSET};
    const TMappedFace mapped = probe(twin);
    if (Is(mapped.Face, kMicrosoftSansSerif) && mapped.Cyrillic) {
        return twin;
    }
    // A system without the twin (Wine): MS Sans Serif as the system has it. Another font taken by
    // the mapper for the Cyrillic character set is no better and may be worse: Wine 8 crashes
    // shaping long Cyrillic lines in the log pane with the Linux side's fonts.
    return {kMsSansSerif, DEFAULT_CHARSET};
}

const TFontChoice& WindowFontChoice() {
    static const TFontChoice choice = ChooseWindowFont(ProbeWithTheMapper);
    return choice;
}

TFont MakeWindowFont(int weight) {
    return CreateWindowFont(WindowFontChoice(), weight);
}

} // namespace win32ui
