// The mesh importer, "SMD Mesh Import" (a Modeler command sequence).
#pragma once

#include <lwserver.h>

// The server's activation. Returns AFUNC_OK (0) after the panel has closed,
// AFUNC_BADVERSION (1) when version is not 3, AFUNC_BADGLOBAL (2) when
// "LWPanelServices", "LWM: State Query 3" or "Info Messages 2" is missing.
int mesh_import_activate(int version, GlobalFunc* global, void* local, void* server_data) noexcept;
