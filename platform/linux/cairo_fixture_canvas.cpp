#include "platform/linux/cairo_fixture_canvas.h"

#include "platform/linux/linux_image.h"

#include <cairo.h>
#include <cmath>
#include <memory>
#include <pango/pangocairo.h>

namespace {

struct CairoSurfaceDeleter {
    void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
struct CairoDeleter {
    void operator()(cairo_t* c) const { cairo_destroy(c); }
};
struct FontDescriptionDeleter {
    void operator()(PangoFontDescription* d) const { pango_font_description_free(d); }
};
struct GObjectDeleter {
    void operator()(void* o) const { g_object_unref(o); }
};

void setColour(cairo_t* cr, const FixtureColour& colour) {
    cairo_set_source_rgb(cr, colour.red, colour.green, colour.blue);
}

std::unique_ptr<PangoFontDescription, FontDescriptionDeleter> systemFont(const FixtureText& run) {
    std::unique_ptr<PangoFontDescription, FontDescriptionDeleter> font(
        pango_font_description_new());
    pango_font_description_set_family(font.get(), CairoFixtureCanvas::systemFontFamily);
    pango_font_description_set_weight(font.get(), run.weight == FontWeight::semibold
                                                      ? PANGO_WEIGHT_SEMIBOLD
                                                      : PANGO_WEIGHT_NORMAL);
    // One point is one pixel on the fixture canvas.
    pango_font_description_set_absolute_size(font.get(), run.fontSize * PANGO_SCALE);
    return font;
}

/// Draws one run. Canvas coordinates have a bottom-left origin; cairo's a top-left one.
void drawRun(cairo_t* cr, double canvasHeight, const FixtureText& run) {
    std::unique_ptr<PangoLayout, GObjectDeleter> layout(pango_cairo_create_layout(cr));
    pango_layout_set_text(layout.get(), run.text.c_str(), static_cast<int>(run.text.size()));
    const auto font = systemFont(run);
    pango_layout_set_font_description(layout.get(), font.get());

    cairo_save(cr);
    if (run.centredIn) {
        // Laid out from the rectangle's top, centred across its width, clipped to it.
        const geo::Rect& rect = *run.centredIn;
        const double top = canvasHeight - (rect.y + rect.height);
        pango_layout_set_width(layout.get(), static_cast<int>(rect.width * PANGO_SCALE));
        pango_layout_set_alignment(layout.get(), PANGO_ALIGN_CENTER);
        cairo_rectangle(cr, rect.x, top, rect.width, rect.height);
        cairo_clip(cr);
        cairo_move_to(cr, rect.x, top);
    } else {
        // The origin is the lower-left corner of the run's line box.
        int width = 0;
        int height = 0;
        pango_layout_get_pixel_size(layout.get(), &width, &height);
        cairo_move_to(cr, run.origin.x, canvasHeight - run.origin.y - height);
    }
    pango_cairo_show_layout(cr, layout.get());
    cairo_restore(cr);
}

} // namespace

Image CairoFixtureCanvas::draw(const FixtureDrawing& drawing) {
    const auto width = static_cast<std::int64_t>(std::ceil(drawing.canvas.width));
    const auto height = static_cast<std::int64_t>(std::ceil(drawing.canvas.height));
    auto image = LinuxImage::allocate(width, height, LinuxPixelFormat::argb32Premultiplied);
    if (!image) return nullptr;

    std::unique_ptr<cairo_surface_t, CairoSurfaceDeleter> surface(
        cairo_image_surface_create_for_data(image->mutablePixels(), CAIRO_FORMAT_ARGB32,
                                            static_cast<int>(width), static_cast<int>(height),
                                            static_cast<int>(image->stride())));
    if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS) return nullptr;
    std::unique_ptr<cairo_t, CairoDeleter> cr(cairo_create(surface.get()));
    if (cairo_status(cr.get()) != CAIRO_STATUS_SUCCESS) return nullptr;

    setColour(cr.get(), drawing.background);
    cairo_paint(cr.get());
    setColour(cr.get(), drawing.textColour);
    for (const FixtureText& run : drawing.texts)
        drawRun(cr.get(), drawing.canvas.height, run);

    cairo_surface_flush(surface.get());
    if (cairo_status(cr.get()) != CAIRO_STATUS_SUCCESS) return nullptr;
    return image;
}
