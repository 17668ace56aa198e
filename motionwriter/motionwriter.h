// The animation exporter: the Layout generic "SMD Animation" and its item
// motion handler "SMD_Anim_Motion", which records each bone's pose while the
// generic steps Layout through the frames.
#pragma once

#include <lwserver.h>

// "SMD Animation": any version. Returns AFUNC_OK (0) when done,
// AFUNC_BADGLOBAL (2) when a required service is missing.
int anim_activate(int version, GlobalFunc* global, void* local, void* server_data) noexcept;

// "SMD_Anim_Motion": version 4 only (AFUNC_BADVERSION otherwise). Fills the
// host's LWItemMotionHandler record with the handler's callbacks.
int anim_motion_activate(int version, GlobalFunc* global, void* local, void* server_data) noexcept;
