/* Saving what a window shows as a PNG file (8-bit RGB). */
#include "display_backend.h"

#include <png.h>

#include <cstdio>
#include <memory>

BOOL ovSaveWindowPNG(struct Window *window, const char *path)
{
    std::vector<uint32> pixels;
    uint32 width = 0, height = 0;
    if (path == nullptr || !ov::display::copyInnerPixels(window, pixels, width, height))
        return FALSE;
    std::unique_ptr<FILE, int (*)(FILE *)> file(std::fopen(path, "wb"), std::fclose);
    if (!file)
        return FALSE;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
    if (info == nullptr) {
        png_destroy_write_struct(&png, nullptr);
        return FALSE;
    }
    std::vector<png_byte> row(size_t(width) * 3);
    /* libpng reports failures by jumping back here; nothing with a
     * destructor is created between here and the end of the writing. */
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return FALSE;
    }
    png_init_io(png, file.get());
    png_set_IHDR(png, info, width, height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (uint32 y = 0; y < height; y++) {
        for (uint32 x = 0; x < width; x++) {
            const uint32 pixel = pixels[size_t(y) * width + x];
            row[x * 3] = static_cast<png_byte>(pixel >> 16);
            row[x * 3 + 1] = static_cast<png_byte>(pixel >> 8);
            row[x * 3 + 2] = static_cast<png_byte>(pixel);
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return TRUE;
}
