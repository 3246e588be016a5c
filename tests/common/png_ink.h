// How much of a PNG picture is drawn: its size and the number of its pixels that are not white.
#pragma once

#include <cairo.h>

#include <cstdint>
#include <string>

namespace dbtest {

// The PNG's size and how many of its pixels are not white; -1 when it cannot be read.
inline int inkOf(const std::string& path, int& width, int& height) {
    cairo_surface_t* s = cairo_image_surface_create_from_png(path.c_str());
    int ink = -1;
    if (cairo_surface_status(s) == CAIRO_STATUS_SUCCESS) {
        width = cairo_image_surface_get_width(s);
        height = cairo_image_surface_get_height(s);
        const int stride = cairo_image_surface_get_stride(s);
        const unsigned char* data = cairo_image_surface_get_data(s);
        ink = 0;
        for (int row = 0; row < height; ++row)
            for (int col = 0; col < width; ++col)
                ink += (reinterpret_cast<const std::uint32_t*>(data + row * stride)[col] & 0xFFFFFFu) != 0xFFFFFFu;
    }
    cairo_surface_destroy(s);
    return ink;
}

}  // namespace dbtest
