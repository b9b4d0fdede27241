// Fixture drawing with cairo and pango, one pixel per point.
#pragma once

#include "platform/fixture_canvas.h"

#include <cairo.h>
#include <memory>
#include <pango/pangocairo.h>

// The cairo and pango functions the helper draws with, X(name) each.
#define QUILL_CAIRO_FUNCTIONS(X)                                                                   \
    X(cairo_create)                                                                                \
    X(cairo_destroy)                                                                               \
    X(cairo_status)                                                                                \
    X(cairo_save)                                                                                  \
    X(cairo_restore)                                                                               \
    X(cairo_scale)                                                                                 \
    X(cairo_rectangle)                                                                             \
    X(cairo_clip)                                                                                  \
    X(cairo_move_to)                                                                               \
    X(cairo_paint)                                                                                 \
    X(cairo_set_source_rgb)                                                                        \
    X(cairo_set_source_surface)                                                                    \
    X(cairo_get_source)                                                                            \
    X(cairo_pattern_set_filter)                                                                    \
    X(cairo_image_surface_create)                                                                  \
    X(cairo_image_surface_create_for_data)                                                         \
    X(cairo_image_surface_create_from_png)                                                         \
    X(cairo_image_surface_get_width)                                                               \
    X(cairo_image_surface_get_height)                                                              \
    X(cairo_image_surface_get_stride)                                                              \
    X(cairo_image_surface_get_data)                                                                \
    X(cairo_surface_status)                                                                        \
    X(cairo_surface_flush)                                                                         \
    X(cairo_surface_destroy)
#define QUILL_PANGO_FUNCTIONS(X)                                                                   \
    X(pango_cairo_create_layout)                                                                   \
    X(pango_cairo_show_layout)                                                                     \
    X(pango_layout_set_text)                                                                       \
    X(pango_layout_set_font_description)                                                           \
    X(pango_layout_set_width)                                                                      \
    X(pango_layout_set_alignment)                                                                  \
    X(pango_layout_get_pixel_size)                                                                 \
    X(pango_font_description_new)                                                                  \
    X(pango_font_description_free)                                                                 \
    X(pango_font_description_set_family)                                                           \
    X(pango_font_description_set_weight)                                                           \
    X(pango_font_description_set_absolute_size)

/// cairo (and, when asked, pango), opened on first use: with their font and image
/// dependencies they would otherwise be loaded by every run of the helper. Once opened they
/// stay mapped until exit (pango registers GObject types).
struct DrawingLibrary {
    enum class Text { without, with };
#define QUILL_DECLARE_FUNCTION(name) decltype(&::name) name = nullptr;
    QUILL_CAIRO_FUNCTIONS(QUILL_DECLARE_FUNCTION)
    QUILL_PANGO_FUNCTIONS(QUILL_DECLARE_FUNCTION)
#undef QUILL_DECLARE_FUNCTION

    /// Nothing when a library or one of its functions is missing. pango's functions are
    /// bound only with Text::with.
    static std::unique_ptr<const DrawingLibrary> open(Text text);
};

class CairoFixtureCanvas final : public FixtureCanvas {
public:
    /// The family that stands in for the system font: it must cover Japanese and Latin.
    static constexpr const char* systemFontFamily = "Noto Sans CJK JP";

    /// Fills the canvas and draws the texts into a premultiplied ARGB LinuxImage.
    Image draw(const FixtureDrawing& drawing) override;

private:
    std::unique_ptr<const DrawingLibrary> library_;
};
