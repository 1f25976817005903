#include "PatternPng.h"

#include <png.h>

#include <csetjmp>
#include <cstdint>
#include <new>
#include <vector>

#include "Fileio.h"
#include "MemoryCanvas.h"
#include "PatternPicture.h"

namespace holvane::cli {

namespace {

void AppendToVector(png_structp png, png_bytep data, png_size_t length) {
    auto* bytes = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(png));
    try {
        bytes->insert(bytes->end(), data, data + length);
    } catch (const std::bad_alloc&) {
        png_error(png, "out of memory");
    }
}

void NothingToFlush(png_structp) {}

// libpng's failures end the encoding quietly; the caller reports them.
void FailQuietly(png_structp png, png_const_charp) {
    png_longjmp(png, 1);
}

void IgnoreWarning(png_structp, png_const_charp) {}

// An 8-bit RGB picture, rows top to bottom, as the bytes of a PNG file. False when libpng fails.
bool EncodePng(std::vector<png_bytep>& rows, std::uint32_t width, std::vector<std::uint8_t>& out) {
    png_structp png =
        png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, FailQuietly, IgnoreWarning);
    if (png == nullptr) {
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (info == nullptr) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    // Only libpng calls run below, so nothing of this frame is left half made by a failure.
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, &out, AppendToVector, NothingToFlush);
    png_set_IHDR(png, info, width, static_cast<std::uint32_t>(rows.size()), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_rows(png, info, rows.data());
    png_write_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

}  // namespace

bool WritePatternPng(const std::string& fileName, std::optional<PatternView> pattern, int scale) {
    if (scale < 1) {
        return false;
    }
    MemoryCanvas canvas(PatternPictureWidth, PatternPictureHeight);
    DrawPattern(canvas, pattern);

    const auto width = static_cast<std::size_t>(canvas.Width()) * static_cast<std::size_t>(scale);
    const auto height = static_cast<std::size_t>(canvas.Height()) * static_cast<std::size_t>(scale);
    std::vector<std::uint8_t> pixels;
    std::vector<png_bytep> rows;
    std::vector<std::uint8_t> file;
    try {
        pixels.resize(width * height * 3);
        rows.resize(height);
    } catch (const std::bad_alloc&) {
        return false;
    }
    for (std::size_t y = 0; y < height; ++y) {
        std::uint8_t* line = pixels.data() + y * width * 3;
        rows[y] = line;
        for (std::size_t x = 0; x < width; ++x) {
            const Rgb pixel = canvas.Pixel(static_cast<int>(x / static_cast<std::size_t>(scale)),
                                           static_cast<int>(y / static_cast<std::size_t>(scale)));
            line[3 * x] = pixel.red;
            line[3 * x + 1] = pixel.green;
            line[3 * x + 2] = pixel.blue;
        }
    }
    if (!EncodePng(rows, static_cast<std::uint32_t>(width), file)) {
        return false;
    }
    return WriteWholeFile(fileName, file) == FileResult::Success;
}

}  // namespace holvane::cli
