// Module descriptor: the one symbol the host reads from this library.
#include <lwgeneric.h>
#include <lwmodule.h>
#include <lwmotion.h>

#include "host_glue.h"
#include "motionwriter.h"

namespace {
ServerRecord servers[] = {
    {LWLAYOUTGENERIC_CLASS, "SMD Animation", anim_activate, nullptr},
    {LWITEMMOTION_HCLASS, "SMD_Anim_Motion", anim_motion_activate, nullptr},
    {nullptr, nullptr, nullptr, nullptr},
};
}  // namespace

extern "C" {
ModuleDescriptor _mod_descrip = {
    MOD_SYSSYNC, MOD_SYSVER, MOD_MACHINE, plugin_startup, plugin_shutdown, servers,
};
}
