#include "uv_template.h"

#include <cstring>
#include <new>
#include <string>

#include <lwimage.h>
#include <lwmodeler.h>

#include "host_glue.h"
#include "panel_kit.h"

namespace {

// Kept for the life of the loaded plug-in, apart from the SMD requester's,
// so each requester offers its own last folder again.
FileNameBuffers uv_template_buffers;

constexpr char PANEL_TITLE[] = "UV Template Exporter";
constexpr int PANEL_WIDTH = 320;
constexpr int PANEL_HEIGHT = 210;
// Labelled controls end their label at this x, so their fields line up.
constexpr int FIELD_X = 150;
constexpr int POPUP_WIDTH = 180;
constexpr int DEFAULT_IMAGE_SIZE = 512;
constexpr int SAVE_BUTTON_X = 245;
constexpr int SAVE_BUTTON_Y = 130;

constexpr char LABEL_UV_MAP[] = "UV Map:";
constexpr char LABEL_IMAGE_SIZE[] = "UV Template Image Size:";
constexpr char LABEL_FOREGROUND[] = "Foreground Color";
constexpr char LABEL_BACKGROUND[] = "Background Color";
constexpr char LABEL_SAVE[] = "Save UV Template Image";

constexpr char MESSAGE_NO_PANEL[] = "Unable to create UV Template Panel!";
constexpr char MESSAGE_SAVE_FAILED[] = "Error saving UV Template Image!";

constexpr char REQUEST_TITLE[] = "Save TGA Image";
constexpr char REQUEST_FILE_TYPE[] = "Images";
constexpr char IMAGE_EXTENSION[] = ".tga";

// ---- control values ---------------------------------------------------------

void set_rgb(LWControl* control, int red, int green, int blue) noexcept {
    LWValue value{};
    value.ivec.type = LWT_VINT;
    value.ivec.val[0] = red;
    value.ivec.val[1] = green;
    value.ivec.val[2] = blue;
    control->set(control, CTL_VALUE, &value);
}

// The colour control holds ints; an RGB24 pixel takes the low byte of each.
UvColor get_rgb(LWControl* control) noexcept {
    LWValue value{};
    value.ivec.type = LWT_VINT;
    control->get(control, CTL_VALUE, &value);
    UvColor colour{};
    for (int c = 0; c < 3; ++c) colour.rgb[c] = static_cast<unsigned char>(value.ivec.val[c] & 0xFF);
    return colour;
}

// ---- the "UV Map:" popup ----------------------------------------------------

const LWObjectFuncs* scene_objects(const UvTemplateRequest* request) noexcept {
    if (!request || !request->source) return nullptr;
    return get_service<LWObjectFuncs>(request->source->global, LWOBJECTFUNCS_GLOBAL);
}

int uv_map_popup_count(void* data) noexcept {
    auto* request = static_cast<const UvTemplateRequest*>(data);
    if (!scene_objects(request)) return 0;
    return request->source->uv_map_count > 0 ? request->source->uv_map_count : 0;
}

char* uv_map_popup_name(void* data, int index) noexcept {
    const LWObjectFuncs* objects = scene_objects(static_cast<const UvTemplateRequest*>(data));
    if (!objects || !objects->vmapName) return nullptr;
    // The toolkit's callback type is not const-correct; it only reads.
    return const_cast<char*>(objects->vmapName(LWVMAP_TXUV, index));
}

// ---- the panel --------------------------------------------------------------

// A labelled control whose field starts at FIELD_X; null when refused.
LWControl* add_field(const UvTemplateRequest& request, LWPanelID panel, const char* type, LWType desc_type,
                     const char* label, int y) noexcept {
    LWPanControlDesc desc{};
    desc.type = desc_type;
    LWControl* control = panel_add_control(request.panels, panel, type, desc, label);
    panel_place_after_label(control, FIELD_X, y);
    return control;
}

// Adds the five controls; 0 when the toolkit refused one.
int add_controls(UvTemplateRequest& request, LWPanelID panel) noexcept {
    request.uv_map = panel_add_popup(request.panels, panel, LABEL_UV_MAP, POPUP_WIDTH, uv_map_popup_count,
                                     uv_map_popup_name, FIELD_X, 10, &request);
    if (!request.uv_map) return 0;

    request.image_size = add_field(request, panel, "NumControl", LWT_INTEGER, LABEL_IMAGE_SIZE, 35);
    if (!request.image_size) return 0;
    panel_set_int(request.image_size, CTL_VALUE, DEFAULT_IMAGE_SIZE);

    request.foreground = add_field(request, panel, "MiniRGBControl", LWT_VINT, LABEL_FOREGROUND, 60);
    if (!request.foreground) return 0;
    set_rgb(request.foreground, 0, 0, 0);

    request.background = add_field(request, panel, "MiniRGBControl", LWT_VINT, LABEL_BACKGROUND, 85);
    if (!request.background) return 0;
    set_rgb(request.background, 255, 255, 255);

    request.save = panel_add_typed(request.panels, panel, "ButtonControl", LWT_INTEGER, LABEL_SAVE, SAVE_BUTTON_X,
                                   SAVE_BUTTON_Y);
    if (!request.save) return 0;
    panel_set_event(request.save, uv_template_save, &request);
    return 1;
}

// ---- polygons ---------------------------------------------------------------

int polygon_size(const MeshSource& source, const UvScanPolygon& polygon) noexcept {
    if (source.kind == MESH_SOURCE_MODELER) return polygon.info ? polygon.info->numPnts : 0;
    return source.mesh->polSize(source.mesh, polygon.id);
}

LWPntID polygon_vertex(const MeshSource& source, const UvScanPolygon& polygon, int k) noexcept {
    if (source.kind == MESH_SOURCE_MODELER) return polygon.info->points ? polygon.info->points[k] : nullptr;
    return source.mesh->polVertex(source.mesh, polygon.id, k);
}

// The UV of a polygon's k-th vertex in the selected map; 0 when it has none.
int vertex_uv(const MeshSource& source, const UvScanPolygon& polygon, int k, float out_uv[2]) noexcept {
    return mesh_source_uv(source, polygon_vertex(source, polygon, k), polygon.id, out_uv) ? 1 : 0;
}

// The pixel of the k-th vertex; 0 when the vertex has no (finite) UV.
int vertex_pixel(const MeshSource& source, const UvScanPolygon& polygon, int k, int size,
                 UvPixel& out_pixel) noexcept {
    float uv[2];
    return vertex_uv(source, polygon, k, uv) && uv_to_pixel(size, uv[0], uv[1], out_pixel);
}

// Host-facing scan callbacks: each adapts its scan's signature.
EDError scan_modeler_polygon(void* data, const EDPolygonInfo* info) noexcept {
    if (!data || !info) return EDERR_NONE;
    uv_template_polygon(*static_cast<UvRenderContext*>(data), UvScanPolygon{info->pol, info});
    return EDERR_NONE;
}

int scan_layout_polygon(void* data, LWPolID polygon) noexcept {
    if (!data) return 0;
    uv_template_polygon(*static_cast<UvRenderContext*>(data), UvScanPolygon{polygon, nullptr});
    return 0;
}

bool source_usable(const MeshSource& source) noexcept {
    if (source.kind == MESH_SOURCE_MODELER)
        return source.edit && source.edit->pointVSet && source.edit->polyScan && source.edit->pointVEval;
    if (source.kind == MESH_SOURCE_LAYOUT)
        return source.mesh && source.mesh->pntVLookup && source.mesh->pntVSelect && source.mesh->scanPolys &&
               source.mesh->polSize && source.mesh->polVertex && source.mesh->pntVPGet && source.mesh->pntVGet;
    return false;
}

// Selects the map and draws every polygon of the source; a map the object
// does not have gives no polygon to draw.
void scan_polygons(UvRenderContext& context, const char* uv_map_name) noexcept {
    const MeshSource& source = *context.source;
    if (!source_usable(source) || !mesh_source_select_uv_map(source, uv_map_name)) return;
    if (source.kind == MESH_SOURCE_MODELER) {
        // OPLYR_NONEMPTY: every polygon of the object, whatever layers the
        // exporter's panel chose.
        source.edit->polyScan(source.edit->state, scan_modeler_polygon, &context, OPLYR_NONEMPTY);
    } else {
        source.mesh->scanPolys(source.mesh, scan_layout_polygon, &context);
    }
}

// Index of the saver with exactly that name, or -1.
int find_targa_saver(const LWImageUtil& images) noexcept {
    if (!images.saverCount || !images.saverName) return -1;
    const int count = images.saverCount();
    for (int i = 0; i < count; ++i) {
        const char* name = images.saverName(i);
        if (name && std::strcmp(name, UV_TEMPLATE_SAVER_NAME) == 0) return i;
    }
    return -1;
}

}  // namespace

UvTemplateResult uv_template_open(LWControlID, const UvTemplateSource& source) noexcept {
    UvTemplateRequest request{};
    request.source = &source;
    request.panels = source.panels;
    request.messages = source.messages;

    LWPanelFuncs* panels = source.panels;
    LWPanelID panel = panel_create_sized(panels, PANEL_TITLE, PANEL_WIDTH, PANEL_HEIGHT);
    if (!panel) {
        report_error(source.messages, MESSAGE_NO_PANEL);
        return UV_TEMPLATE_NO_PANEL;
    }
    // A control the toolkit refuses leaves a panel the user cannot use.
    if (!add_controls(request, panel)) {
        panels->destroy(panel);
        report_error(source.messages, MESSAGE_NO_PANEL);
        return UV_TEMPLATE_NO_PANEL;
    }
    panels->open(panel, PANF_BLOCKING | PANF_CANCEL);
    panels->destroy(panel);
    return UV_TEMPLATE_OK;
}

void uv_template_save(LWControlID, void* data) noexcept {
    auto* request = static_cast<UvTemplateRequest*>(data);
    if (!request || !request->source) return;
    GlobalFunc* global = request->source->global;

    const LWObjectFuncs* objects = get_service<LWObjectFuncs>(global, LWOBJECTFUNCS_GLOBAL);
    if (!objects || !objects->vmapName) return;
    const char* host_name = objects->vmapName(LWVMAP_TXUV, panel_get_int(request->uv_map, CTL_VALUE));
    if (!host_name) return;
    // Our own copy: the requester runs in between, and the host promises
    // nothing about its text that long.
    std::string uv_map_name;
    try {
        uv_map_name = host_name;
    } catch (const std::bad_alloc&) {
        report_error(request->messages, MESSAGE_SAVE_FAILED);
        return;
    }

    LWFileReqLocal file_request{};
    fill_file_request(file_request, uv_template_buffers, FREQ_SAVE, REQUEST_TITLE, REQUEST_FILE_TYPE);
    if (set_base_name(uv_template_buffers, uv_map_name.c_str()) < static_cast<std::size_t>(UV_TEMPLATE_MAX_STEM))
        std::strcat(uv_template_buffers.base_name, IMAGE_EXTENSION);
    if (!run_file_request(global, file_request)) return;

    const UvColor foreground = get_rgb(request->foreground);
    const UvColor background = get_rgb(request->background);
    const int size = panel_get_int(request->image_size, CTL_VALUE);
    if (size <= 0) return;

    if (uv_template_render(uv_template_buffers.full_name, *request->source, uv_map_name.c_str(), size,
                           foreground, background) != UV_TEMPLATE_OK)
        report_error(request->messages, MESSAGE_SAVE_FAILED);
}

UvTemplateResult uv_template_render(const char* full_name, const UvTemplateSource& source, const char* uv_map_name,
                                    int image_size, const UvColor& foreground, const UvColor& background) noexcept {
    auto* images = get_service<LWImageUtil>(source.global, LWIMAGEUTIL_GLOBAL);
    if (!images || !images->create || !images->destroy || !images->setPixel || !images->save)
        return UV_TEMPLATE_NO_SERVICE;
    LWPixmapID image = images->create(image_size, image_size, LWIMTYP_RGB24);
    if (!image) return UV_TEMPLATE_NO_IMAGE;

    unsigned char fill[3] = {background.rgb[0], background.rgb[1], background.rgb[2]};
    for (int x = 0; x < image_size; ++x)
        for (int y = 0; y < image_size; ++y) images->setPixel(image, x, y, fill);

    UvRenderContext context{&source.polygons, UvCanvas{images, image, image_size}, foreground};
    scan_polygons(context, uv_map_name);

    UvTemplateResult rc = UV_TEMPLATE_OK;
    const int saver = find_targa_saver(*images);
    // The host's saver writes beside the target and renames; a non-zero
    // result means the file is not there (or not complete).
    if (saver >= 0 && images->save(image, saver, full_name) != 0) rc = UV_TEMPLATE_SAVE_FAILED;
    images->destroy(image);
    return rc;
}

int uv_template_polygon(UvRenderContext& context, const UvScanPolygon& polygon) noexcept {
    if (!polygon.id || !context.source || !source_usable(*context.source)) return 0;
    const MeshSource& source = *context.source;
    const int size = context.canvas.size;
    const int count = polygon_size(source, polygon);
    // Layout's exporter draws only what it could export (3 or more points);
    // Modeler's draws any polygon, down to a single point.
    if (count <= 0 || (source.kind == MESH_SOURCE_LAYOUT && count < 3)) return 0;

    UvPixel pixel{};
    for (int k = 0; k < count; ++k)
        if (!vertex_pixel(source, polygon, k, size, pixel)) return 0;

    // Querying again instead of keeping the pixels needs no buffer for
    // polygons of any size.
    UvPixel first{};
    if (!vertex_pixel(source, polygon, 0, size, first)) return 0;
    UvPixel previous = first;
    for (int k = 1; k < count; ++k) {
        UvPixel current{};
        if (!vertex_pixel(source, polygon, k, size, current)) return 0;
        draw_line(previous, current, context.foreground, context.canvas);
        previous = current;
    }
    draw_line(previous, first, context.foreground, context.canvas);
    return 0;
}
