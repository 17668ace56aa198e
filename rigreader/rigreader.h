// The skeleton importer, "SMD Skeleton Import" (a Layout generic).
#pragma once

#include <lwserver.h>

// The server's activation: any version. Returns AFUNC_OK (0) after the panel
// has closed, AFUNC_BADGLOBAL (2) when a required service is missing.
int skeleton_activate(int version, GlobalFunc* global, void* local, void* server_data) noexcept;
