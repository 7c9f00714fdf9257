#pragma once

#include <cairo.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace floodmark {

// A font face found by name: for cairo to draw with and HarfBuzz to shape with.
class FontFace {
public:
    virtual ~FontFace() = default;
    virtual cairo_font_face_t* cairoFace() const = 0;
    // The glyphs of `text` at `size`, advancing from (0, 0) along +x in cairo's y-down space.
    virtual std::vector<cairo_glyph_t> shape(std::string_view text, double size) const = 0;
};

// Registers a font file for this process only, under its file stem ("IBMPlexSans-Medium"),
// whatever names the file carries inside. Files that cannot be read are skipped.
void registerFontFile(const std::string& path);

// Registers the fonts shipped with floodmark, once per process.
void registerBundledFonts();

// The face registered under `name`, or the default sans face when there is none. Absent only
// when the machine has no font at all.
std::shared_ptr<const FontFace> fontNamed(const std::string& name);

}  // namespace floodmark
