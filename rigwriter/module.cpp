// Module descriptor: the one symbol the host reads from this library.
#include <lwgeneric.h>
#include <lwmodule.h>

#include "host_glue.h"
#include "rigwriter.h"

namespace {
ServerRecord servers[] = {
    {LWLAYOUTGENERIC_CLASS, "SMD Export Layout", ref_activate, nullptr},
    {nullptr, nullptr, nullptr, nullptr},
};
}  // namespace

extern "C" {
ModuleDescriptor _mod_descrip = {
    MOD_SYSSYNC, MOD_SYSVER, MOD_MACHINE, plugin_startup, plugin_shutdown, servers,
};
}
