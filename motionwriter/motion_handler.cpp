// "SMD_Anim_Motion": an item motion handler that only observes. The generic
// applies it to every bone it exports; each evaluation reads the export state
// through the shared block "smd_anim_mem" and records the bone's pose.
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include <lwglobsrv.h>
#include <lwmotion.h>

#include "anim_state.h"
#include "motionwriter.h"

namespace {

constexpr const char* SHARED_BLOCK_NAME = "smd_anim_mem";

// The block holds one pointer, so it is created with the size of a pointer
// (four bytes would not hold an address on a 64-bit host).
constexpr int SHARED_BLOCK_SIZE = int(sizeof(void*));

struct AnimMotionInstance {
    LWItemID item;
    void** block;  // where the running export's state address is read
};

LWGlobalPool* render_pool(GlobalFunc* global) noexcept {
    return global ? static_cast<LWGlobalPool*>(global(LWGLOBALPOOL_RENDER_GLOBAL, GFUSE_TRANSIENT)) : nullptr;
}

// A block left by an older build that sized it for a 32-bit pointer is
// refused rather than written past.
void** find_or_create_block(GlobalFunc* global) noexcept {
    LWGlobalPool* pool = render_pool(global);
    if (!pool) return nullptr;
    LWMemChunk block = pool->find(SHARED_BLOCK_NAME);
    if (!block) block = pool->create(SHARED_BLOCK_NAME, SHARED_BLOCK_SIZE);
    if (block && pool->size && pool->size(block) < SHARED_BLOCK_SIZE) return nullptr;
    return static_cast<void**>(block);
}

// The pool gives no promise of alignment, so the pointer is copied bytewise.
AnimExportState* read_block(void** block) noexcept {
    AnimExportState* state = nullptr;
    std::memcpy(&state, block, sizeof state);
    return state;
}

void write_block(void** block, AnimExportState* state) noexcept { std::memcpy(block, &state, sizeof state); }

LWInstance motion_create(void* priv, void* context, LWError* error) noexcept {
    auto* instance = static_cast<AnimMotionInstance*>(std::calloc(1, sizeof(AnimMotionInstance)));
    if (instance) {
        instance->item = static_cast<LWItemID>(context);
        if (priv) instance->block = find_or_create_block(reinterpret_cast<GlobalFunc*>(priv));
    }
    if ((!instance || !instance->block) && error) *error = "Couldn't allocate instance data.";
    return instance;
}

void motion_destroy(LWInstance instance) noexcept { std::free(instance); }

LWError motion_copy(LWInstance to, LWInstance from) noexcept {
    auto* target = static_cast<AnimMotionInstance*>(to);
    auto* source = static_cast<AnimMotionInstance*>(from);
    if (target && source) *target = *source;
    return nullptr;
}

LWError motion_load(LWInstance, const LWLoadState*) noexcept { return nullptr; }
LWError motion_save(LWInstance, const LWSaveState*) noexcept { return nullptr; }

const char* motion_describe(LWInstance instance) noexcept {
    static char line[64];
    auto* self = static_cast<AnimMotionInstance*>(instance);
    std::uintptr_t item = self ? reinterpret_cast<std::uintptr_t>(self->item) : 0;
    std::snprintf(line, sizeof line, "SMD Anim item=%" PRIxPTR, item);
    return line;
}

void motion_evaluate(LWInstance instance, const LWItemMotionAccess* access) noexcept {
    auto* self = static_cast<AnimMotionInstance*>(instance);
    if (!self || !self->block || !access || !access->item) return;
    AnimExportState* state = read_block(self->block);
    if (!state) return;  // no export running
    if (access->frame < state->firstFrame || access->frame > state->lastFrame) return;
    // The bone map finds the record in one probe where a scan of `bones`
    // would cost a comparison per bone on every evaluation of every bone.
    void* bone = nullptr;
    if (intmap_get(&state->boneMap, host_id_key(access->item), &bone) != MAP_OK) return;
    sample_bone_pose(*state, *static_cast<AnimBone*>(bone), *access);
}

unsigned int motion_flags(LWInstance) noexcept { return LWIMF_AFTERIK; }

}  // namespace

int anim_motion_activate(int version, GlobalFunc* global, void* local, void*) noexcept {
    if (version != LWITEMMOTION_VERSION) return AFUNC_BADVERSION;
    auto* handler = static_cast<LWItemMotionHandler*>(local);
    if (!handler || !handler->inst) return AFUNC_BADLOCAL;
    handler->inst->priv = reinterpret_cast<void*>(global);
    handler->inst->create = motion_create;
    handler->inst->destroy = motion_destroy;
    handler->inst->copy = motion_copy;
    handler->inst->load = motion_load;
    handler->inst->save = motion_save;
    handler->inst->descln = motion_describe;
    handler->evaluate = motion_evaluate;
    handler->flags = motion_flags;
    return AFUNC_OK;
}

ExportResult publish_export_state(AnimExportState& state) noexcept {
    void** block = find_or_create_block(state.global);
    if (!block) return EXPORT_NO_SERVICE;
    write_block(block, &state);
    return EXPORT_OK;
}

void withdraw_export_state(const AnimExportState& state) noexcept {
    LWGlobalPool* pool = render_pool(state.global);
    if (!pool) return;
    LWMemChunk block = pool->find(SHARED_BLOCK_NAME);
    if (block && (!pool->size || pool->size(block) >= SHARED_BLOCK_SIZE))
        write_block(static_cast<void**>(block), nullptr);
}
