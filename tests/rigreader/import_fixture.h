// Shared set-up of the skeleton importer's unit tests: a context filled the
// way the activation fills it, over a host whose generic local carries out
// the commands, and files made from text.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include <lwgeneric.h>
#include <lwrender.h>

#include "host.h"
#include "import_state.h"
#include "scene_builder.h"

namespace importtest {

inline int evaluate(void*, const char* text) { return lwhost::Host::current()->layout_command(text); }

inline LWItemID lw_item(lwhost::ItemId id) { return reinterpret_cast<LWItemID>(static_cast<std::uintptr_t>(id)); }

// A temporary file holding `text`, positioned at its start.
inline std::FILE* text_file(const std::string& text) {
    std::FILE* file = std::tmpfile();
    if (file) {
        std::fwrite(text.data(), 1, text.size(), file);
        std::rewind(file);
    }
    return file;
}

// A host at 24 fps with the preview to frame 60, and a context as the
// activation makes it.
struct ImportFixture {
    lwhost::Host host;
    lwhost::SceneBuilder builder{host.scene};
    LWLayoutGeneric generic{nullptr, nullptr, nullptr, nullptr, nullptr, evaluate};
    SkeletonImport state{};

    ImportFixture() {
        builder.fps(24).preview(0, 60);
        state.global = lwhost::Host::global_function;
        state.generic = &generic;
        state.item_info = static_cast<const LWItemInfo*>(host.global(LWITEMINFO_GLOBAL, 0));
        state.scale = 0.025f;
        state.default_rest_length = 0.2f;
        EXPECT_EQ(skeleton_allocate_table(state), SKELETON_OK);
    }
    ~ImportFixture() { skeleton_release(state); }

    int import(const std::string& text) {
        std::FILE* file = text_file(text);
        const int result = skeleton_import_run(state, file);
        std::fclose(file);
        return result;
    }

    const ImportBone& row(int index) const { return state.bone_table[index]; }
};

}  // namespace importtest
