// The reference mesh exporter, "SMD Export Layout" (a Layout generic).
#pragma once

#include <lwserver.h>

// The server's activation: any version is accepted. Returns AFUNC_OK (0) when
// done, AFUNC_BADGLOBAL (2) when a required service is missing.
int ref_activate(int version, GlobalFunc* global, void* local, void* server_data) noexcept;
