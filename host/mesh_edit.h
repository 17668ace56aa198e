// Modeler's mesh edit: the `MeshEditOp` that a command sequence's `editBegin`
// hands out, over the current object of the scene (scene.current_mesh).
//
//   MeshEditOp* begin_mesh_edit(Host& host, int pntBuf, int polBuf, int select)
//       Opens an edit and returns its record, owned by the host; the plug-in
//       ends it with `done`. Returns null (with a diagnostic note) when there
//       is no current object or an edit is already open. `pntBuf`/`polBuf`
//       are the bytes of zeroed scratch (`userData`) per point/polygon;
//       `select` is an EltOpSelect (OPSEL_MODIFY allows pntSelect/polSelect).
//
// What the edit sees and changes:
//   - Layers. The edit covers every layer of the object. `layerNum` and the
//     `layer` of the info records are Modeler's layer numbers: the LWO2 layer
//     number + 1. The primary layer is the first foreground layer
//     (scene.foreground_layers, bit i = layer index i); new points go there.
//     Layer codes (EltOpLayer): OPLYR_PRIMARY 0 the primary layer; OPLYR_FG 1
//     the foreground layers; OPLYR_BG 2 the background layers; OPLYR_SELECT 3
//     foreground and background; OPLYR_ALL 4 every layer; OPLYR_EMPTY 5 the
//     layers without points or polygons; OPLYR_NONEMPTY 6 the layers with
//     geometry (so for counting and scanning: everything); 100 + n the layer
//     Modeler numbers n. Unknown codes cover no layer. Layers added to the
//     scene while an edit is open are not seen by it.
//   - Changes (added, moved or removed elements, vertex map values, tags,
//     flags) are made on a private copy of each layer they touch, taken at
//     the first change, and are visible to the edit's own queries at once.
//     `done` with EDERR_NONE moves them into the scene; any other error drops
//     them. Removed elements are left out of scans and EDCOUNT_ALL and
//     counted by EDCOUNT_DELETE; at commit they are dropped together with any
//     polygon still using a removed point, and the layer is renumbered.
//   - Selection. EDDF_SELECT is set on every element for OPSEL_GLOBAL; for
//     the other modes it is the element's selection, where pntSelect/polSelect
//     of this edit override the scene's. `done` (EDERR_NONE, selm) then:
//     EDSELM_CLEARCURRENT (1) clears every point and polygon selection of the
//     object; EDSELM_FORCEVRTS (4) / EDSELM_FORCEPOLS (8) clear the point /
//     polygon selection and switch Modeler to point / polygon selection mode;
//     then every pntSelect/polSelect mark of the edit is applied; then
//     EDSELM_SELECTNEW (2) selects the points and polygons the edit added.
//     So done(…, 0, 8) leaves exactly the polygons marked with polSelect(…, 1)
//     selected, and done(…, 0, 0) keeps the old selection (changed only where
//     the edit marked elements).
//   - Vertex maps. pointVSet selects a map by (type, name) or by the ID it
//     returned before; its ID is non-null when a map of that type and name
//     exists in any layer of the object. pointVGet gives the per-point value,
//     pointVPGet the per-polygon value only, pointVEval the per-polygon value
//     when there is one, else the per-point value; each copies at most the
//     dimension the map had when it was selected. A map that pntVMap or
//     pntVPMap creates belongs to the layer of the point.
//   - Records. The info records and the point array of a polygon record are
//     reused: scans and pointInfo/polyInfo each have their own, overwritten
//     per element. `surface` and `points` stay valid until the next change.
//   - After `done` the record stays readable until the host dies, and every
//     function of a finished edit does nothing and returns 0/null, so a
//     second `done` through a stale pointer is harmless.
//   - addPatch is not supported (EDERR_BADARGS). addCurve stores its
//     EDPF_CCSTART/EDPF_CCEND flags on the polygon. initUV sets, in the map
//     chosen by pointVSet, two values per vertex of the polygon added last.
//     addIPnt places the point at `xyz` (or at the weighted mean of the given
//     points when `xyz` is null) and gives it the weighted mean of their
//     values in every map of the layer where at least one of them has one.
#pragma once

#include <cstdint>
#include <string>

#include <lwmeshedt.h>

namespace lwhost {

class Host;
class Scene;

MeshEditOp* begin_mesh_edit(Host& host, int pntBuf, int polBuf, int select);

// Vertex map IDs, as pointVSet returns them and "Texture Functions 2" gives
// for TXTAG_VMAP: one ID per (type, name) for the life of the host, decoded
// in O(1). `vmap_id` returns null only when memory runs out; `find_vmap_id`
// returns null for anything that is not such an ID.
struct VmapName {
    std::uint32_t type = 0;
    std::string name;
};
void* vmap_id(Host& host, std::uint32_t type, const std::string& name) noexcept;
const VmapName* find_vmap_id(Host& host, const void* id) noexcept;

// Layer sets of an EltOpLayer code, shared by the edit and "LWM: State
// Query 3": whether layer `index` (of the current object, whose primary layer
// index is `primary`) belongs to `code`. `primary_layer` is the index of the
// lowest foreground layer (0 when none is set).
struct Layer;
bool layer_in_code(const Scene& scene, const Layer& layer, int index, int primary, int code);
int primary_layer(const Scene& scene);

// The name Modeler gives an object: its file name, or for an object never
// saved the name of the first scene item showing it, else "Unnamed" (the
// first mesh) or "Unnamed <n>" (mesh index n - 1). "LWM: State Query 3"
// `object` and the surfaces' `sceneObject`/`byObject` use it; empty when
// `mesh` is not an object of the scene.
std::string modeler_object_name(const Scene& scene, int mesh);
// The mesh with that Modeler name, or -1.
int find_modeler_object(const Scene& scene, const char* name);

}  // namespace lwhost
