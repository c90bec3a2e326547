#include "platform/desktop/guard/WaylandPrompt.h"

#include "platform/desktop/guard/Prompt.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include <algorithm>
#include <cstddef>
#include <unistd.h>
#include <xkbcommon/xkbcommon-keysyms.h>

namespace platform::desktop::guard {

namespace {

constexpr std::uint32_t kBackground = 0xFF000000u;
constexpr std::uint32_t kText = 0xFFFFFFFFu;
const char* const kTitle = "The screen is locked.";
const char* const kAsk = "Type the password and press Return.";

// The sans-serif fonts that Debian installs with any desktop.
const char* const kFontFiles[] = {"/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf",
                                  "/usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf",
                                  "/usr/share/fonts/truetype/freefont/FreeSans.ttf"};

// The code points of a UTF-8 string; a broken sequence counts as one '?'.
std::u32string codePoints(const std::string& text) {
    std::u32string result;
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const int length = lead < 0x80 ? 1 : (lead >> 5) == 6 ? 2 : (lead >> 4) == 14 ? 3 : (lead >> 3) == 30 ? 4 : 0;
        if (length == 0 || i + static_cast<std::size_t>(length) > text.size()) {
            result.push_back(U'?');
            ++i;
            continue;
        }
        char32_t point = length == 1 ? lead : lead & (0xFF >> (length + 1));
        for (int k = 1; k < length; ++k) point = (point << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        result.push_back(point);
        i += static_cast<std::size_t>(length);
    }
    return result;
}

void blendPixel(wayland::Canvas& canvas, int x, int y, unsigned coverage) {
    if (x < 0 || y < 0 || x >= canvas.width || y >= canvas.height || coverage == 0) return;
    auto* row = reinterpret_cast<std::uint32_t*>(reinterpret_cast<unsigned char*>(canvas.pixels) +
                                                 std::ptrdiff_t{y} * canvas.stride);
    // White over black: the coverage is the grey level.
    const std::uint32_t grey = std::min(coverage, 255u);
    row[x] = 0xFF000000u | (grey << 16) | (grey << 8) | grey;
}

void fillRect(wayland::Canvas& canvas, int left, int top, int width, int height, std::uint32_t colour) {
    for (int y = std::max(top, 0); y < std::min(top + height, canvas.height); ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(reinterpret_cast<unsigned char*>(canvas.pixels) +
                                                     std::ptrdiff_t{y} * canvas.stride);
        for (int x = std::max(left, 0); x < std::min(left + width, canvas.width); ++x) row[x] = colour;
    }
}

}  // namespace

struct WaylandPrompt::Font {
    FT_Library library = nullptr;
    FT_Face face = nullptr;

    Font() {
        if (FT_Init_FreeType(&library) != 0) return;
        for (const char* file : kFontFiles)
            if (::access(file, R_OK) == 0 && FT_New_Face(library, file, 0, &face) == 0) break;
    }
    ~Font() {
        if (face) FT_Done_Face(face);
        if (library) FT_Done_FreeType(library);
    }

    int advance(char32_t point) const {
        return FT_Load_Char(face, point, FT_LOAD_DEFAULT) == 0 ? static_cast<int>(face->glyph->advance.x >> 6) : 0;
    }

    int width(const std::u32string& text) const {
        int total = 0;
        for (char32_t point : text) total += advance(point);
        return total;
    }

    void draw(wayland::Canvas& canvas, const std::string& utf8, int centre, int baseline) const {
        if (!face) return;
        const std::u32string text = codePoints(utf8);
        int pen = centre - width(text) / 2;
        for (char32_t point : text) {
            if (FT_Load_Char(face, point, FT_LOAD_RENDER) != 0) continue;
            const FT_GlyphSlot glyph = face->glyph;
            for (unsigned row = 0; row < glyph->bitmap.rows; ++row)
                for (unsigned column = 0; column < glyph->bitmap.width; ++column)
                    blendPixel(canvas, pen + glyph->bitmap_left + static_cast<int>(column),
                               baseline - glyph->bitmap_top + static_cast<int>(row),
                               glyph->bitmap.buffer[row * static_cast<unsigned>(glyph->bitmap.pitch) + column]);
            pen += static_cast<int>(glyph->advance.x >> 6);
        }
    }
};

WaylandPrompt::WaylandPrompt() : font_(std::make_unique<Font>()) {}

WaylandPrompt::~WaylandPrompt() { wipe(typed_); }

WaylandPrompt::Outcome WaylandPrompt::type(const wayland::TypedKey& press) {
    switch (press.keysym) {
        case XKB_KEY_Return:
        case XKB_KEY_KP_Enter: return Outcome::Submitted;
        case XKB_KEY_Escape: wipe(typed_); return Outcome::Edited;
        case XKB_KEY_BackSpace:
            // The whole last character, however many bytes it took.
            while (!typed_.empty() && (static_cast<unsigned char>(typed_.back()) & 0xC0) == 0x80) typed_.pop_back();
            if (!typed_.empty()) typed_.pop_back();
            return Outcome::Edited;
        default: break;
    }
    const bool control = !press.text.empty() && static_cast<unsigned char>(press.text[0]) < 0x20;
    if (press.text.empty() || control || (press.modifiers & (wayland::Control | wayland::Super)))
        return Outcome::Ignored;
    typed_ += press.text;
    return Outcome::Edited;
}

std::string WaylandPrompt::takePassword() {
    std::string password = typed_;
    wipe(typed_);
    return password;
}

std::size_t WaylandPrompt::typedCharacters() const { return codePoints(typed_).size(); }

void WaylandPrompt::draw(wayland::Canvas& canvas) const {
    fillRect(canvas, 0, 0, canvas.width, canvas.height, kBackground);
    if (!canvas.main) return;
    const int scale = std::max(canvas.scale, 1);
    // Text about a fortieth of the height, never tiny, never huge.
    const int lineHeight = std::clamp(canvas.height / 40, 12 * scale, 48 * scale);
    if (font_->face) FT_Set_Pixel_Sizes(font_->face, 0, static_cast<FT_UInt>(lineHeight));
    const int centre = canvas.width / 2, middle = canvas.height / 2;
    font_->draw(canvas, kTitle, centre, middle - 3 * lineHeight);
    font_->draw(canvas, kAsk, centre, middle - lineHeight * 3 / 2);
    // One bullet per character, at most a screen's width of them.
    const int bullet = std::max(lineHeight / 2, 2), gap = bullet / 2;
    const int count =
        std::min(static_cast<int>(typedCharacters()), std::max((canvas.width - 2 * gap) / (bullet + gap), 0));
    int left = centre - (count * (bullet + gap) - gap) / 2;
    for (int i = 0; i < count; ++i, left += bullet + gap) fillRect(canvas, left, middle, bullet, bullet, kText);
    // The field's frame, so that an empty prompt still shows where to type.
    const int fieldWidth = std::min(canvas.width - 2 * gap, 16 * lineHeight), fieldLeft = centre - fieldWidth / 2;
    fillRect(canvas, fieldLeft, middle + bullet + gap, fieldWidth, std::max(scale, 1), kText);
    if (!status_.empty()) font_->draw(canvas, status_, centre, middle + 3 * lineHeight);
}

}  // namespace platform::desktop::guard
