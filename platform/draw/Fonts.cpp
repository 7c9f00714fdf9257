#include "platform/draw/Fonts.h"

#include <cairo-ft.h>
#include <fontconfig/fontconfig.h>
#include <hb.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <mutex>

namespace floodmark {

namespace {

class FileFontFace final : public FontFace {
public:
    // Takes ownership of `pattern`, which names the file and face index.
    FileFontFace(FcPattern* pattern, const std::string& file, int index)
        : pattern_(pattern), cairoFace_(cairo_ft_font_face_create_for_pattern(pattern)) {
        hb_blob_t* blob = hb_blob_create_from_file(file.c_str());
        hb_face_t* face = hb_face_create(blob, static_cast<unsigned>(index));
        hb_blob_destroy(blob);
        unitsPerEm_ = static_cast<int>(hb_face_get_upem(face));
        font_ = hb_font_create(face);
        hb_face_destroy(face);
        hb_font_set_scale(font_, unitsPerEm_, unitsPerEm_);
    }
    ~FileFontFace() override {
        hb_font_destroy(font_);
        cairo_font_face_destroy(cairoFace_);
        FcPatternDestroy(pattern_);
    }
    FileFontFace(const FileFontFace&) = delete;
    FileFontFace& operator=(const FileFontFace&) = delete;

    cairo_font_face_t* cairoFace() const override { return cairoFace_; }

    std::vector<cairo_glyph_t> shape(std::string_view text, double size) const override {
        hb_buffer_t* buffer = hb_buffer_create();
        hb_buffer_add_utf8(buffer, text.data(), static_cast<int>(text.size()), 0,
                           static_cast<int>(text.size()));
        hb_buffer_guess_segment_properties(buffer);
        hb_shape(font_, buffer, nullptr, 0);
        unsigned count = 0;
        const hb_glyph_info_t* infos = hb_buffer_get_glyph_infos(buffer, &count);
        const hb_glyph_position_t* positions = hb_buffer_get_glyph_positions(buffer, &count);
        double unit = size / unitsPerEm_;
        std::vector<cairo_glyph_t> glyphs(count);
        double penX = 0;
        double penY = 0;
        for (unsigned i = 0; i < count; ++i) {
            glyphs[i].index = infos[i].codepoint;
            glyphs[i].x = penX + positions[i].x_offset * unit;
            glyphs[i].y = penY - positions[i].y_offset * unit;
            penX += positions[i].x_advance * unit;
            penY -= positions[i].y_advance * unit;
        }
        hb_buffer_destroy(buffer);
        return glyphs;
    }

private:
    FcPattern* pattern_;
    cairo_font_face_t* cairoFace_;
    hb_font_t* font_ = nullptr;
    int unitsPerEm_ = 1000;
};

struct Registry {
    std::mutex mutex;
    std::map<std::string, std::shared_ptr<const FontFace>, std::less<>> faces;
    std::shared_ptr<const FontFace> fallback;
    bool fallbackLooked = false;
};

Registry& registry() {
    static Registry instance;
    return instance;
}

std::shared_ptr<const FontFace> faceFromPattern(FcPattern* pattern) {
    FcChar8* file = nullptr;
    int index = 0;
    if (FcPatternGetString(pattern, FC_FILE, 0, &file) != FcResultMatch) {
        FcPatternDestroy(pattern);
        return nullptr;
    }
    FcPatternGetInteger(pattern, FC_INDEX, 0, &index);
    std::string path(reinterpret_cast<const char*>(file));
    return std::make_shared<FileFontFace>(pattern, path, index);
}

std::shared_ptr<const FontFace> defaultSans() {
    FcPattern* request = FcNameParse(reinterpret_cast<const FcChar8*>("sans-serif"));
    FcConfigSubstitute(nullptr, request, FcMatchPattern);
    FcDefaultSubstitute(request);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, request, &result);
    FcPatternDestroy(request);
    return match ? faceFromPattern(match) : nullptr;
}

// Where the shipped fonts are, from the program's folder: as the install lays them out from
// bin/ or from the helpers' folder, and share/floodmark/fonts beside the programs' folder in a
// build tree, which holds a copy there. No path of the machine that built it is compiled in.
std::vector<std::filesystem::path> fontDirectories() {
    std::vector<std::filesystem::path> directories;
    std::error_code error;
    auto program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error) {
        auto folder = program.parent_path();
        directories = {folder / FLOODMARK_HELPERS_TO_FONTS, folder / FLOODMARK_BIN_TO_FONTS,
                       folder.parent_path() / "share/floodmark/fonts"};
    }
    return directories;
}

}  // namespace

void registerFontFile(const std::string& path) {
    FcInit();
    int count = 0;
    FcPattern* pattern =
        FcFreeTypeQuery(reinterpret_cast<const FcChar8*>(path.c_str()), 0, nullptr, &count);
    if (pattern == nullptr) {
        return;
    }
    FcConfigAppFontAddFile(nullptr, reinterpret_cast<const FcChar8*>(path.c_str()));
    auto face = std::make_shared<FileFontFace>(pattern, path, 0);
    std::string stem = std::filesystem::path(path).stem().string();
    Registry& fonts = registry();
    std::lock_guard lock(fonts.mutex);
    fonts.faces.try_emplace(stem, std::move(face));
}

void registerBundledFonts() {
    static std::once_flag once;
    std::call_once(once, [] {
        for (const auto& directory : fontDirectories()) {
            std::error_code error;
            if (!std::filesystem::is_directory(directory, error)) {
                continue;
            }
            for (const auto& entry : std::filesystem::directory_iterator(directory, error)) {
                if (entry.path().extension() == ".ttf") {
                    registerFontFile(entry.path().string());
                }
            }
            return;
        }
    });
}

std::shared_ptr<const FontFace> fontNamed(const std::string& name) {
    FcInit();
    Registry& fonts = registry();
    std::lock_guard lock(fonts.mutex);
    if (auto found = fonts.faces.find(name); found != fonts.faces.end()) {
        return found->second;
    }
    if (!fonts.fallbackLooked) {
        fonts.fallbackLooked = true;
        fonts.fallback = defaultSans();
    }
    return fonts.fallback;
}

}  // namespace floodmark
