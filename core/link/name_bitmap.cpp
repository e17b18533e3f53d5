// The dot bitmap that the device's display shows for a channel name. Each character is drawn
// into its own 24-pixel-high cell, without anti-aliasing, and the cells are laid end to end.

#include <ft2build.h>
#include FT_FREETYPE_H
#include <fontconfig/fontconfig.h>

#include <algorithm>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "link/commands.h"
#include "link/gbk.h"

namespace quorvel {
namespace {

constexpr int kCellHeight = 24;
constexpr int kNarrowCellWidth = 12;
constexpr int kWideCellWidth = 24;
constexpr int kBytesPerColumn = kCellHeight / 8;

// Em sizes in pixels (horizontal, vertical): a Latin letter comes out about 7 px wide and a
// Chinese character about 20 px, on a body of about 16 px, the proportions the device shows.
constexpr FT_UInt kNarrowEmX = 14, kNarrowEmY = 16;
constexpr FT_UInt kWideEmX = 20, kWideEmY = 18;

constexpr const char* kFontFamily = "WenQuanYi Micro Hei";
constexpr std::size_t kCacheLimit = 4096;

using Cell = std::vector<std::uint8_t>;

// One FreeType face for the whole process. FreeType faces are not safe for concurrent use, so
// every render goes through the mutex; finished cells are cached since names repeat a small
// alphabet and the bulk transfer renders twenty of them in a row.
class GlyphCells {
public:
    static GlyphCells& instance() {
        static GlyphCells cells;
        return cells;
    }

    Cell cell(char32_t codePoint, bool wide) {
        const std::uint64_t key = (static_cast<std::uint64_t>(codePoint) << 1) | (wide ? 1u : 0u);
        std::lock_guard lock(mutex_);
        if (auto it = cache_.find(key); it != cache_.end()) return it->second;
        if (!loaded_) load();
        Cell c = render(codePoint, wide);
        if (cache_.size() >= kCacheLimit) cache_.clear();
        cache_.emplace(key, c);
        return c;
    }

    GlyphCells(const GlyphCells&) = delete;
    GlyphCells& operator=(const GlyphCells&) = delete;

private:
    GlyphCells() = default;
    ~GlyphCells() {
        if (face_) FT_Done_Face(face_);
        if (library_) FT_Done_FreeType(library_);
    }

    // Asks fontconfig for the family; its best match is any installed font when the family is
    // missing. With no font at all the cells stay blank: a name must never fail to go out.
    void load() {
        loaded_ = true;
        std::string file;
        int index = 0;
        if (FcConfig* config = FcInitLoadConfigAndFonts()) {
            if (FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>(kFontFamily))) {
                FcConfigSubstitute(config, pattern, FcMatchPattern);
                FcDefaultSubstitute(pattern);
                FcResult result = FcResultNoMatch;
                if (FcPattern* match = FcFontMatch(config, pattern, &result)) {
                    FcChar8* path = nullptr;
                    if (FcPatternGetString(match, FC_FILE, 0, &path) == FcResultMatch && path)
                        file = reinterpret_cast<const char*>(path);
                    FcPatternGetInteger(match, FC_INDEX, 0, &index);
                    FcPatternDestroy(match);
                }
                FcPatternDestroy(pattern);
            }
            FcConfigDestroy(config);
        }
        if (file.empty() || FT_Init_FreeType(&library_) != 0) return;
        if (FT_New_Face(library_, file.c_str(), index, &face_) != 0) face_ = nullptr;
    }

    Cell render(char32_t codePoint, bool wide) {
        const int width = wide ? kWideCellWidth : kNarrowCellWidth;
        Cell cell(static_cast<std::size_t>(width * kBytesPerColumn), 0);
        if (!face_) return cell;
        if (FT_Set_Pixel_Sizes(face_, wide ? kWideEmX : kNarrowEmX, wide ? kWideEmY : kNarrowEmY) != 0)
            return cell;
        const FT_UInt glyph = FT_Get_Char_Index(face_, codePoint);
        if (FT_Load_Glyph(face_, glyph, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO) != 0) return cell;

        const FT_GlyphSlot slot = face_->glyph;
        const FT_Bitmap& bm = slot->bitmap;
        // Centre the advance box horizontally and the line box (ascent + descent) vertically,
        // so every character of a name shares one baseline.
        const int ascent = static_cast<int>(face_->size->metrics.ascender >> 6);
        const int descent = static_cast<int>(-(face_->size->metrics.descender >> 6));
        const int baseline = (kCellHeight - (ascent + descent)) / 2 + ascent;
        const int advance = static_cast<int>((slot->advance.x + 32) >> 6);
        const int originX = (width - advance) / 2 + slot->bitmap_left;
        const int originY = baseline - slot->bitmap_top;

        for (unsigned row = 0; row < bm.rows; ++row) {
            const unsigned char* line = bm.buffer + static_cast<std::ptrdiff_t>(row) * bm.pitch;
            for (unsigned col = 0; col < bm.width; ++col) {
                bool ink = false;
                if (bm.pixel_mode == FT_PIXEL_MODE_MONO)
                    ink = (line[col >> 3] >> (7 - (col & 7))) & 1;
                else if (bm.pixel_mode == FT_PIXEL_MODE_GRAY)
                    ink = line[col] >= 128;
                if (!ink) continue;
                const int x = originX + static_cast<int>(col);
                const int y = originY + static_cast<int>(row);
                if (x < 0 || x >= width || y < 0 || y >= kCellHeight) continue;
                // Column-major, each column top to bottom, MSB first.
                cell[static_cast<std::size_t>(x * kBytesPerColumn + y / 8)] |=
                    static_cast<std::uint8_t>(0x80 >> (y % 8));
            }
        }
        return cell;
    }

    std::mutex mutex_;
    bool loaded_ = false;
    FT_Library library_ = nullptr;
    FT_Face face_ = nullptr;
    std::unordered_map<std::uint64_t, Cell> cache_;
};

} // namespace

std::array<std::uint8_t, kNameBitmapBytes> renderNameBitmap(std::string_view gbkName) {
    std::array<std::uint8_t, kNameBitmapBytes> bitmap{};
    std::size_t used = 0;
    for (char16_t unit : gbkToUtf16(gbkName)) {
        if (used >= bitmap.size()) break;
        // The cell width follows the character's GBK width; a unit GBK cannot hold is shown as
        // "?", as the code page conversion would have produced.
        bool wide = false;
        char32_t codePoint = unit;
        if (unit >= 0x80) { // ASCII is itself in GBK; spare the conversion for it
            const std::string back = utf16ToGbk(std::u16string_view(&unit, 1));
            wide = back.size() == 2;
            if (back.empty()) codePoint = U'?';
        }
        const Cell c = GlyphCells::instance().cell(codePoint, wide);
        const std::size_t n = std::min(c.size(), bitmap.size() - used);
        std::copy_n(c.begin(), n, bitmap.begin() + static_cast<std::ptrdiff_t>(used));
        used += n;
    }
    return bitmap;
}

} // namespace quorvel
