#include "platform/linux/imaging/cairo_fixture_canvas.h"

#include "platform/linux/imaging/linux_image.h"

#include <cmath>
#include <dlfcn.h>

namespace {

constexpr const char* cairoLibrary = "libcairo.so.2";
constexpr const char* pangoCairoLibrary = "libpangocairo-1.0.so.0"; // brings pango and cairo

struct GObjectDeleter {
    void operator()(void* o) const { g_object_unref(o); }
};

/// Draws one run. Canvas coordinates have a bottom-left origin; cairo's a top-left one.
void drawRun(const DrawingLibrary& lib, cairo_t* cr, double canvasHeight, const FixtureText& run) {
    std::unique_ptr<PangoLayout, GObjectDeleter> layout(lib.pango_cairo_create_layout(cr));
    lib.pango_layout_set_text(layout.get(), run.text.c_str(), static_cast<int>(run.text.size()));
    PangoFontDescription* font = lib.pango_font_description_new();
    lib.pango_font_description_set_family(font, CairoFixtureCanvas::systemFontFamily);
    lib.pango_font_description_set_weight(
        font, run.weight == FontWeight::semibold ? PANGO_WEIGHT_SEMIBOLD : PANGO_WEIGHT_NORMAL);
    // One point is one pixel on the fixture canvas.
    lib.pango_font_description_set_absolute_size(font, run.fontSize * PANGO_SCALE);
    lib.pango_layout_set_font_description(layout.get(), font);
    lib.pango_font_description_free(font);

    lib.cairo_save(cr);
    if (run.centredIn) {
        // Laid out from the rectangle's top, centred across its width, clipped to it.
        const geo::Rect& rect = *run.centredIn;
        const double top = canvasHeight - (rect.y + rect.height);
        lib.pango_layout_set_width(layout.get(), static_cast<int>(rect.width * PANGO_SCALE));
        lib.pango_layout_set_alignment(layout.get(), PANGO_ALIGN_CENTER);
        lib.cairo_rectangle(cr, rect.x, top, rect.width, rect.height);
        lib.cairo_clip(cr);
        lib.cairo_move_to(cr, rect.x, top);
    } else {
        // The origin is the lower-left corner of the run's line box.
        int width = 0;
        int height = 0;
        lib.pango_layout_get_pixel_size(layout.get(), &width, &height);
        lib.cairo_move_to(cr, run.origin.x, canvasHeight - run.origin.y - height);
    }
    lib.pango_cairo_show_layout(cr, layout.get());
    lib.cairo_restore(cr);
}

} // namespace

std::unique_ptr<const DrawingLibrary> DrawingLibrary::open(Text text) {
    void* handle = dlopen(text == Text::with ? pangoCairoLibrary : cairoLibrary,
                          RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    if (!handle) return nullptr;
    auto library = std::make_unique<DrawingLibrary>();
    bool complete = true;
#define QUILL_BIND_FUNCTION(name)                                                                  \
    library->name = reinterpret_cast<decltype(&::name)>(dlsym(handle, #name));                     \
    complete = complete && library->name;
    QUILL_CAIRO_FUNCTIONS(QUILL_BIND_FUNCTION)
    if (text == Text::with) {
        QUILL_PANGO_FUNCTIONS(QUILL_BIND_FUNCTION)
    }
#undef QUILL_BIND_FUNCTION
    // The mapping stays (RTLD_NODELETE); this only drops the reference.
    dlclose(handle);
    if (!complete) return nullptr;
    return library;
}

Image CairoFixtureCanvas::draw(const FixtureDrawing& drawing) {
    if (!library_) library_ = DrawingLibrary::open(DrawingLibrary::Text::with);
    if (!library_) return nullptr;
    const DrawingLibrary& lib = *library_;

    const auto width = static_cast<std::int64_t>(std::ceil(drawing.canvas.width));
    const auto height = static_cast<std::int64_t>(std::ceil(drawing.canvas.height));
    auto image = LinuxImage::allocate(width, height, LinuxPixelFormat::argb32Premultiplied);
    if (!image) return nullptr;

    cairo_surface_t* surface = lib.cairo_image_surface_create_for_data(
        image->mutablePixels(), CAIRO_FORMAT_ARGB32, static_cast<int>(width),
        static_cast<int>(height), static_cast<int>(image->stride()));
    cairo_t* cr = lib.cairo_create(surface);
    bool drawn = lib.cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS &&
                 lib.cairo_status(cr) == CAIRO_STATUS_SUCCESS;
    if (drawn) {
        const auto& [red, green, blue] = drawing.background;
        lib.cairo_set_source_rgb(cr, red, green, blue);
        lib.cairo_paint(cr);
        lib.cairo_set_source_rgb(cr, drawing.textColour.red, drawing.textColour.green,
                                 drawing.textColour.blue);
        for (const FixtureText& run : drawing.texts)
            drawRun(lib, cr, drawing.canvas.height, run);
        lib.cairo_surface_flush(surface);
        drawn = lib.cairo_status(cr) == CAIRO_STATUS_SUCCESS;
    }
    lib.cairo_destroy(cr);
    lib.cairo_surface_destroy(surface);
    if (!drawn) return nullptr;
    return image;
}
