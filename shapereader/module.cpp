// Module descriptor: the one symbol the host reads from this library.
#include <lwcmdseq.h>
#include <lwmodule.h>

#include "host_glue.h"
#include "shapereader.h"

namespace {
ServerRecord servers[] = {
    {LWMODCOMMAND_CLASS, "SMD Mesh Import", mesh_import_activate, nullptr},
    {nullptr, nullptr, nullptr, nullptr},
};
}  // namespace

extern "C" {
ModuleDescriptor _mod_descrip = {
    MOD_SYSSYNC, MOD_SYSVER, MOD_MACHINE, plugin_startup, plugin_shutdown, servers,
};
}
