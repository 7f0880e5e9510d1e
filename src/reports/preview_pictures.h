#pragma once

#include <QIcon>

// The pictures of the preview window's tool buttons, painted in code rather than
// shipped as image files.
namespace PreviewPictures {

inline constexpr int kIconSize = 20;

enum Glyph {
    GlyphFit,
    Glyph100,
    GlyphWidth,
    GlyphFirst,
    GlyphPrevious,
    GlyphNext,
    GlyphLast,
    GlyphSetup,
    GlyphPrint,
    GlyphSave,
    GlyphLoad,
    GlyphPdf
};

// One glyph painted on a transparent square of kIconSize pixels.
QIcon glyphIcon(int glyph);

} // namespace PreviewPictures
