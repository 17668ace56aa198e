// Module descriptor: the one symbol the host reads from this library.
#include <lwgeneric.h>
#include <lwmodule.h>

#include "host_glue.h"
#include "rigreader.h"

namespace {
ServerRecord servers[] = {
    {LWLAYOUTGENERIC_CLASS, "SMD Skeleton Import", skeleton_activate, nullptr},
    {nullptr, nullptr, nullptr, nullptr},
};
}  // namespace

extern "C" {
ModuleDescriptor _mod_descrip = {
    MOD_SYSSYNC, MOD_SYSVER, MOD_MACHINE, plugin_startup, plugin_shutdown, servers,
};
}
