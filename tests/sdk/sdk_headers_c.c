/* Compiles every host interface header as C, as a C plug-in would, and
   reports the record sizes C computes for sdk_layout_test.cpp to compare
   with C++'s. Keep the order in step with cpp_sizes there. */

#include "lwcmdseq.h"
#include "lwdyna.h"
#include "lwgeneric.h"
#include "lwglobsrv.h"
#include "lwhandler.h"
#include "lwhost.h"
#include "lwimage.h"
#include "lwio.h"
#include "lwmeshedt.h"
#include "lwmeshes.h"
#include "lwmodeler.h"
#include "lwmodule.h"
#include "lwmotion.h"
#include "lwpanel.h"
#include "lwrender.h"
#include "lwserver.h"
#include "lwsurf.h"
#include "lwtxtr.h"
#include "lwtypes.h"

#include <stddef.h>

const size_t sdk_c_sizes[] = {
    sizeof(ModuleDescriptor), sizeof(ServerRecord),     sizeof(DynaValue),
    sizeof(LWLayoutGeneric),  sizeof(LWModCommand),     sizeof(MeshEditOp),
    sizeof(EDPointInfo),      sizeof(EDPolygonInfo),    sizeof(LWMeshInfo),
    sizeof(LWObjectFuncs),    sizeof(LWItemInfo),       sizeof(LWObjectInfo),
    sizeof(LWBoneInfo),       sizeof(LWSceneInfo),      sizeof(LWInterfaceInfo),
    sizeof(LWItemMotionAccess), sizeof(LWItemMotionHandler), sizeof(LWPanelFuncs),
    sizeof(LWValue),          sizeof(LWPanControlDesc), sizeof(LWFileReqLocal),
    sizeof(LWTextureFuncs),   sizeof(LWImageList),      sizeof(LWImageType),
    sizeof(pTag),
};

const int sdk_c_size_count = (int)(sizeof sdk_c_sizes / sizeof sdk_c_sizes[0]);
