// The static mesh exporter, "SMD Export" (a Modeler command sequence).
#pragma once

#include <lwserver.h>

// The server's activation. Returns AFUNC_OK (0) when done and after every
// handled failure, AFUNC_BADVERSION (1) when version is not 3,
// AFUNC_BADGLOBAL (2) when "LWPanelServices", "LWM: State Query 3" or
// "Info Messages 2" is missing, AFUNC_BADLOCAL (3) when the mesh edit cannot
// begin.
int mesh_activate(int version, GlobalFunc* global, void* local, void* server_data) noexcept;
