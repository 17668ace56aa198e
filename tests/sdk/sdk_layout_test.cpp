// Binary layout of the host interface headers against the published member
// order and values. Host and plug-ins both compile against these headers, so
// a mismatch with the published interface never shows at run time here: it
// only breaks a plug-in loaded by the real host. These checks are the guard.
//
// Expected offsets are computed from the published member lists (kinds of
// members in order) with the C alignment rules, not taken from the headers.

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

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <type_traits>

namespace {

// One character per member, as the published tables list them:
//   p pointer (data or function)   i int / unsigned int / enum
//   d double                       V double[3]   R int[4]
struct Kind { std::size_t size, align; };

constexpr Kind kind_of(char c) {
    switch (c) {
    case 'p': return {sizeof(void *), alignof(void *)};
    case 'i': return {sizeof(int), alignof(int)};
    case 'd': return {sizeof(double), alignof(double)};
    case 'V': return {3 * sizeof(double), alignof(double)};
    case 'R': return {4 * sizeof(int), alignof(int)};
    default: return {0, 1};
    }
}

constexpr std::size_t round_up(std::size_t n, std::size_t a) { return (n + a - 1) / a * a; }

// Offset of the member at 1-based position `number`.
constexpr std::size_t layout_offset(const char *kinds, int number) {
    std::size_t at = 0;
    for (int i = 0; i + 1 < number; ++i) {
        Kind k = kind_of(kinds[i]);
        at = round_up(at, k.align) + k.size;
    }
    return round_up(at, kind_of(kinds[number - 1]).align);
}

constexpr std::size_t layout_size(const char *kinds) {
    std::size_t at = 0, align = 1;
    for (int i = 0; kinds[i] != '\0'; ++i) {
        Kind k = kind_of(kinds[i]);
        at = round_up(at, k.align) + k.size;
        if (k.align > align) align = k.align;
    }
    return round_up(at, align);
}

// 1-based position of a member in a record made only of pointers.
#define SLOT(T, m) (offsetof(T, m) / sizeof(void *) + 1)
// Size of a record made only of n pointers.
#define PTRS(n) ((n) * sizeof(void *))

}  // namespace

TEST(SdkLayout, FourCharCodes) {
    static_assert(sizeof(LWID) == 4);
    // First character in the most significant byte.
    static_assert(LWID_('A', 'B', 'C', 'D') == 0x41424344u);
    static_assert(LWPOLTYPE_FACE == 0x46414345u);
    static_assert(LWPOLTYPE_CURV == 0x43555256u);
    static_assert(LWPOLTYPE_PTCH == 0x50544348u);
    static_assert(LWPOLTYPE_MBAL == 0x4D42414Cu);
    static_assert(LWPOLTYPE_BONE == 0x424F4E45u);
    static_assert(LWPTAG_SURF == 0x53555246u);
    static_assert(LWPTAG_PART == 0x50415254u);
    static_assert(LWVMAP_TXUV == 0x54585556u);
    static_assert(LWVMAP_WGHT == 0x57474854u);
    static_assert(LWVMAP_RGB == 0x52474220u);    // "RGB " with a trailing blank
    static_assert(LWVMAP_RGBA == 0x52474241u);
}

TEST(SdkLayout, ModuleAndActivation) {
    static_assert(MOD_SYSSYNC == 0x04121994);
    static_assert(MOD_SYSVER == 3);
    static_assert(MOD_MACHINE == 0x300);
    static_assert(offsetof(ModuleDescriptor, sysMachine) == 2 * sizeof(int));
    static_assert(offsetof(ModuleDescriptor, startup) == layout_offset("iiippp", 4));
    static_assert(offsetof(ModuleDescriptor, serverDefs) == layout_offset("iiippp", 6));
    static_assert(sizeof(ModuleDescriptor) == layout_size("iiippp"));

    static_assert(SLOT(ServerRecord, activate) == 3 && SLOT(ServerRecord, tagInfo) == 4);
    static_assert(sizeof(ServerRecord) == PTRS(4));
    static_assert(offsetof(ServerTagInfo, tag) == sizeof(void *) && sizeof(ServerTagInfo::tag) == 4);

    static_assert(std::is_same_v<ActivateFunc, int(int, GlobalFunc *, void *, void *)>);
    static_assert(std::is_same_v<GlobalFunc, void *(const char *, int)>);
    static_assert(AFUNC_OK == 0 && AFUNC_BADVERSION == 1 && AFUNC_BADGLOBAL == 2 &&
                  AFUNC_BADLOCAL == 3 && AFUNC_BADAPP == 4);
    static_assert(GFUSE_TRANSIENT == 0 && GFUSE_ACQUIRE == 1 && GFUSE_RELEASE == 2);
    static_assert(SRVTAG_USERNAME == 0 && SRVTAG_BUTTONNAME == 0x10000 && LANGID_USENGLISH == 0x409);
}

TEST(SdkLayout, CommandLocals) {
    // data is the third member of the Layout generic local, the first of the
    // Modeler command local.
    static_assert(SLOT(LWLayoutGeneric, data) == 3);
    static_assert(SLOT(LWLayoutGeneric, evaluate) == 6);
    static_assert(sizeof(LWLayoutGeneric) == PTRS(6));
    static_assert(std::is_same_v<decltype(LWLayoutGeneric::data), void *>);
    static_assert(std::is_same_v<decltype(LWLayoutGeneric::evaluate), int (*)(void *, const char *)>);

    static_assert(SLOT(LWModCommand, data) == 1);
    static_assert(SLOT(LWModCommand, editBegin) == 5);
    static_assert(SLOT(LWModCommand, evaluate) == 6);
    static_assert(sizeof(LWModCommand) == PTRS(6));
    static_assert(std::is_same_v<decltype(LWModCommand::editBegin), MeshEditBegin *>);
    static_assert(std::is_same_v<MeshEditBegin, MeshEditOp *(int, int, EltOpSelect)>);

    static_assert(LWLAYOUTGENERIC_VERSION == 2 && LWMODCOMMAND_VERSION == 3);
    static_assert(CSERR_USERABORT == 4 && CSERR_ARGCOUNT == 2901 && CSERR_BADSEL == 2905);

    // DynaValue: every member starts with the type; doubles aligned.
    static_assert(sizeof(DyValFVector) == layout_size("iVd"));
    static_assert(offsetof(DynaValue, flt.value) == layout_offset("id", 2));
    static_assert(offsetof(DynaValue, str.bufLen) == layout_offset("ipi", 3));
    static_assert(DY_STRING == 1 && DY_INTEGER == 2 && DY_FLOAT == 3 && DY_CUSTOM == 14);
}

TEST(SdkLayout, MeshEditOp) {
    // Version-4 layout: state, layerNum, then 33 functions.
    constexpr const char *op = "pi" "ppppppppppppppppppppppppppppppppp";
    static_assert(sizeof(MeshEditOp) == layout_size(op));
    static_assert(offsetof(MeshEditOp, layerNum) == layout_offset(op, 2));
    static_assert(offsetof(MeshEditOp, done) == layout_offset(op, 3));
    static_assert(offsetof(MeshEditOp, polyScan) == layout_offset(op, 7));
    static_assert(offsetof(MeshEditOp, addPoint) == layout_offset(op, 11));
    static_assert(offsetof(MeshEditOp, addFace) == layout_offset(op, 12));
    static_assert(offsetof(MeshEditOp, pntVMap) == layout_offset(op, 24));
    static_assert(offsetof(MeshEditOp, addPoly) == layout_offset(op, 25));
    static_assert(offsetof(MeshEditOp, pointVSet) == layout_offset(op, 28));
    static_assert(offsetof(MeshEditOp, polSelect) == layout_offset(op, 32));
    static_assert(offsetof(MeshEditOp, pointVEval) == layout_offset(op, 34));
    static_assert(offsetof(MeshEditOp, pntVPMap) == layout_offset(op, 35));

    static_assert(std::is_same_v<decltype(MeshEditOp::done), void (*)(EDStateRef, EDError, int)>);
    static_assert(std::is_same_v<decltype(MeshEditOp::addPoly),
                                 LWPolID (*)(EDStateRef, LWID, LWPolID, const char *, int, const LWPntID *)>);
    static_assert(std::is_same_v<decltype(MeshEditOp::pointVEval),
                                 int (*)(EDStateRef, LWPntID, LWPolID, float *)>);
    static_assert(std::is_same_v<decltype(MeshEditOp::pntVPMap),
                                 EDError (*)(EDStateRef, LWPntID, LWPolID, LWID, const char *, int, float *)>);
    static_assert(std::is_same_v<decltype(MeshEditOp::polyScan),
                                 EDError (*)(EDStateRef, EDPolyScanFunc *, void *, EltOpLayer)>);

    constexpr const char *pnt = "ppiiVp";
    static_assert(offsetof(EDPointInfo, position) == layout_offset(pnt, 5));
    static_assert(sizeof(EDPointInfo) == layout_size(pnt));
    constexpr const char *pol = "ppiiippi";
    static_assert(offsetof(EDPolygonInfo, surface) == layout_offset(pol, 7));
    static_assert(offsetof(EDPolygonInfo, type) == layout_offset(pol, 8));
    static_assert(sizeof(EDPolygonInfo::type) == 4);
    static_assert(sizeof(EDPolygonInfo) == layout_size(pol));

    // 32770, the static exporter's editBegin mode, is a selector, not EDSELM.
    static_assert((OPSEL_MODIFY | OPSEL_DIRECT) == 32770);
    static_assert(OPSEL_GLOBAL == 0 && OPSEL_USER == 1);
    static_assert(OPLYR_PRIMARY == 0 && OPLYR_FG == 1 && OPLYR_BG == 2 && OPLYR_SELECT == 3 &&
                  OPLYR_ALL == 4 && OPLYR_EMPTY == 5 && OPLYR_NONEMPTY == 6);
    static_assert(EDSELM_CLEARCURRENT == 1 && EDSELM_SELECTNEW == 2 && EDSELM_FORCEVRTS == 4 &&
                  EDSELM_FORCEPOLS == 8);
    static_assert(EDDF_SELECT == 1 && EDDF_DELETE == 2 && EDPF_CCEND == 4 && EDPF_CCSTART == 8);
    static_assert(EDERR_NONE == 0 && EDERR_NOMEMORY == 1 && EDERR_BADVMAP == 6);
    static_assert(EDCOUNT_ALL == 0 && EDCOUNT_SELECT == 1 && EDCOUNT_DELETE == 2);
}

TEST(SdkLayout, LayoutMeshAndObjects) {
    static_assert(SLOT(LWMeshInfo, destroy) == 2);
    static_assert(SLOT(LWMeshInfo, scanPolys) == 6);
    static_assert(SLOT(LWMeshInfo, pntVLookup) == 9);
    static_assert(SLOT(LWMeshInfo, polTag) == 15);
    static_assert(SLOT(LWMeshInfo, pntVPGet) == 16);
    static_assert(SLOT(LWMeshInfo, pntVPIDGet) == 19);
    static_assert(sizeof(LWMeshInfo) == PTRS(19));
    static_assert(std::is_same_v<decltype(LWMeshInfo::pntVPGet),
                                 int (*)(LWMeshInfoID, LWPntID, LWPolID, float *)>);
    static_assert(std::is_same_v<LWPntScanFunc, int(void *, LWPntID)>);

    static_assert(SLOT(LWObjectFuncs, numVMaps) == 7);
    static_assert(SLOT(LWObjectFuncs, vmapName) == 8);
    static_assert(SLOT(LWObjectFuncs, refName) == 14);
    static_assert(sizeof(LWObjectFuncs) == PTRS(14));

    static_assert(SLOT(LWObjectInfo, meshInfo) == 6);
    static_assert(SLOT(LWObjectInfo, excluded) == 20);
    static_assert(std::is_same_v<decltype(LWObjectInfo::meshInfo), LWMeshInfoID (*)(LWItemID, int)>);

    // Opaque handles are pointer-sized so hosts can hand out any address.
    static_assert(sizeof(LWPntID) == sizeof(void *) && sizeof(LWPolID) == sizeof(void *));
}

TEST(SdkLayout, SceneItems) {
    // The order is parent, target, goal, type, name.
    static_assert(SLOT(LWItemInfo, nextChild) == 4);
    static_assert(SLOT(LWItemInfo, parent) == 5);
    static_assert(SLOT(LWItemInfo, target) == 6);
    static_assert(SLOT(LWItemInfo, goal) == 7);
    static_assert(SLOT(LWItemInfo, type) == 8);
    static_assert(SLOT(LWItemInfo, name) == 9);
    static_assert(SLOT(LWItemInfo, param) == 10);
    static_assert(SLOT(LWItemInfo, flags) == 18);
    static_assert(SLOT(LWItemInfo, stiffness) == 21);
    static_assert(std::is_same_v<decltype(LWItemInfo::param), void (*)(LWItemID, LWItemParam, LWTime, double *)>);
    static_assert(std::is_same_v<decltype(LWItemInfo::goalStrength), double (*)(LWItemID)>);

    static_assert(SLOT(LWBoneInfo, restParam) == 2 && SLOT(LWBoneInfo, weightMap) == 5);
    static_assert(sizeof(LWBoneInfo) == PTRS(9));

    constexpr const char *scene = "ppiiiiiiidiidiiRipi";
    static_assert(offsetof(LWSceneInfo, framesPerSecond) == layout_offset(scene, 10));
    static_assert(offsetof(LWSceneInfo, limitedRegion) == layout_offset(scene, 16));
    static_assert(offsetof(LWSceneInfo, renderCamera) == layout_offset(scene, 18));
    static_assert(sizeof(LWSceneInfo) == layout_size(scene));

    // The "3" layout: alertLevel directly after itemColor.
    constexpr const char *ui = "dppiiiippiiipi";
    static_assert(offsetof(LWInterfaceInfo, selItems) == layout_offset(ui, 2));
    static_assert(offsetof(LWInterfaceInfo, previewStart) == layout_offset(ui, 4));
    static_assert(offsetof(LWInterfaceInfo, previewEnd) == layout_offset(ui, 5));
    static_assert(offsetof(LWInterfaceInfo, boxThreshold) == layout_offset(ui, 12));
    static_assert(offsetof(LWInterfaceInfo, alertLevel) == layout_offset(ui, 14));
    static_assert(sizeof(LWInterfaceInfo) == layout_size(ui));

    static_assert(LWI_OBJECT == 0 && LWI_LIGHT == 1 && LWI_CAMERA == 2 && LWI_BONE == 3);
    static_assert(LWIP_POSITION == 1 && LWIP_RIGHT == 2 && LWIP_FORWARD == 4 && LWIP_ROTATION == 5 &&
                  LWIP_SCALING == 6 && LWIP_PIVOT == 7 && LWIP_W_POSITION == 8 &&
                  LWIP_W_FORWARD == 11 && LWIP_PIVOT_ROT == 12);
    static_assert(LWITEMF_GOAL_ORIENT == 8 && LWITEMF_SELECTED == 1);
    static_assert(LWBONEF_ACTIVE == 1 && LWBONEF_WEIGHT_NORM == 16 && LWBONEF_MUSCLE_FLEX_PAR == 256);
    EXPECT_EQ(LWITEM_NULL, nullptr);
}

TEST(SdkLayout, MotionHandler) {
    constexpr const char *access = "pidpp";
    static_assert(offsetof(LWItemMotionAccess, frame) == layout_offset(access, 2));
    static_assert(offsetof(LWItemMotionAccess, time) == layout_offset(access, 3));
    static_assert(offsetof(LWItemMotionAccess, getParam) == layout_offset(access, 4));
    static_assert(sizeof(LWItemMotionAccess) == layout_size(access));
    static_assert(std::is_same_v<decltype(LWItemMotionAccess::getParam), void (*)(LWItemParam, LWTime, double *)>);

    static_assert(SLOT(LWItemMotionHandler, evaluate) == 3 && sizeof(LWItemMotionHandler) == PTRS(4));
    static_assert(SLOT(LWInstanceFuncs, create) == 2 && SLOT(LWInstanceFuncs, descln) == 7);
    static_assert(sizeof(LWInstanceFuncs) == PTRS(7) && sizeof(LWItemFuncs) == PTRS(2));
    static_assert(std::is_same_v<LWCreateFunc, LWInstance(void *, void *, LWError *)>);
    static_assert(LWIMF_AFTERIK == 1 && LWITEMMOTION_VERSION == 4);
    EXPECT_STREQ(LWITEMMOTION_HCLASS, "ItemMotionHandler");

    static_assert(SLOT(LWGlobalPool, find) == 5 && SLOT(LWGlobalPool, create) == 6);
    static_assert(sizeof(LWGlobalPool) == PTRS(6));
}

TEST(SdkLayout, PanelsAndRequesters) {
    static_assert(SLOT(LWPanelFuncs, addControl) == 9);
    static_assert(SLOT(LWPanelFuncs, drawFuncs) == 11);
    static_assert(SLOT(LWPanelFuncs, globalFun) == 13);
    static_assert(sizeof(LWPanelFuncs) == PTRS(13));
    static_assert(std::is_same_v<decltype(LWPanelFuncs::globalFun), GlobalFunc *>);
    static_assert(SLOT(LWControl, set) == 3 && sizeof(LWControl) == PTRS(4));
    static_assert(SLOT(DrawFuncs, dispMetrics) == 9 && sizeof(DrawFuncs) == PTRS(9));

    // Enumerations keep int width so C and C++ callers agree.
    static_assert(sizeof(pTag) == sizeof(int) && sizeof(cTag) == sizeof(int) && sizeof(DrMode) == sizeof(int));
    static_assert(PAN_W == 2 && PAN_H == 3 && PAN_FLAGS == 6 && PAN_USERDRAW == 7 &&
                  PAN_USEROPEN == 9 && PAN_USERCLOSE == 10 && PAN_TITLE == 11 && PAN_USERDATA == 12 &&
                  PAN_USERKEYS == 13 && PAN_VERSION == 18 && PAN_TO_FRONT == 23);
    static_assert(CTL_X == 0 && CTL_Y == 1 && CTL_W == 2 && CTL_H == 3 && CTL_VALUE == 4 &&
                  CTL_FLAGS == 12 && CTL_USERDRAW == 13 && CTL_USEREVENT == 14 && CTL_LABEL == 15 &&
                  CTL_USERDATA == 16 && CTL_RANGEMIN == 19 && CTL_ACTIVATE == 21);
    static_assert(DR_ERASE == 0 && DR_RENDER == 1 && DR_GHOST == 2 && DR_REFRESH == 3);
    static_assert((PANF_BLOCKING | PANF_CANCEL) == 3 && PANF_NOBUTT == 64 && PANF_RESIZE == 128);
    static_assert(CTLF_DISABLE == 0x100 && CTLF_GHOST == 0x100 && CTLF_INVISIBLE == 0x200);
    static_assert(LWT_INTEGER == 2 && LWT_FLOAT == 3 && LWT_VINT == 5 && LWT_BOOLEAN == 8 &&
                  LWT_TEXT == 12 && LWT_POPUP == 18 && LWT_AREA == 19 && LWT_MLIST == 22);
    static_assert(LWPANELS_API_VERSION == 19);

    // Values and descriptors: every member starts with its type.
    static_assert(offsetof(LWValue, ptr.ptr) == layout_offset("ip", 2));
    static_assert(offsetof(LWValue, ivec.val) == sizeof(int));
    static_assert(sizeof(LWValue) == layout_size("iVd"));
    static_assert(offsetof(LWPanControlDesc, popup.nameFn) == layout_offset("iipp", 4));
    static_assert(offsetof(LWPanControlDesc, multiList.nameFn) == layout_offset("iiiippp", 6));
    static_assert(offsetof(LWPanControlDesc, multiList.colWidth) == layout_offset("iiiippp", 7));
    static_assert(offsetof(LWPanControlDesc, text.text) == layout_offset("ip", 2));
    static_assert(std::is_same_v<ControlDesc, LWPanControlDesc>);

    constexpr const char *req = "iipppppip";
    static_assert(offsetof(LWFileReqLocal, fileType) == layout_offset(req, 4));
    static_assert(offsetof(LWFileReqLocal, fullName) == layout_offset(req, 7));
    static_assert(offsetof(LWFileReqLocal, bufLen) == layout_offset(req, 8));
    static_assert(sizeof(LWFileReqLocal) == layout_size(req));
    static_assert(std::is_same_v<LWFileActivateFunc, int(int, LWFileReqLocal *)>);
    static_assert(FREQ_LOAD == 1 && FREQ_SAVE == 2 && LWFILEREQ_VERSION == 3);

    static_assert(SLOT(LWMessageFuncs, error) == 2 && sizeof(LWMessageFuncs) == PTRS(7));
    static_assert(SLOT(LWStateQueryFuncs, object) == 6 && sizeof(LWStateQueryFuncs) == PTRS(8));
}

TEST(SdkLayout, SurfacesTexturesImages) {
    static_assert(SLOT(LWSurfaceFuncs, name) == 6);
    static_assert(SLOT(LWSurfaceFuncs, getFlt) == 9);
    static_assert(SLOT(LWSurfaceFuncs, getTex) == 11);
    static_assert(sizeof(LWSurfaceFuncs) == PTRS(15));
    EXPECT_STREQ(SURF_SMAN, "SmoothingAngle");
    EXPECT_STREQ(SURF_COLR, "BaseColor");

    static_assert(SLOT(LWTextureFuncs, firstLayer) == 13);
    static_assert(SLOT(LWTextureFuncs, nextLayer) == 15);
    static_assert(SLOT(LWTextureFuncs, layerType) == 18);
    static_assert(SLOT(LWTextureFuncs, getParam) == 22);
    static_assert(SLOT(LWTextureFuncs, context) == 30);
    static_assert(sizeof(LWTextureFuncs) == PTRS(30));
    static_assert(TLT_IMAGE == 0 && TXTAG_PROJ == 4 && TXTAG_AXIS == 5 && TXTAG_IMAGE == 9 &&
                  TXTAG_VMAP == 10 && TXTAG_HREPEAT == 17);
    static_assert(TXPRJ_PLANAR == 0 && TXPRJ_CUBIC == 3 && TXPRJ_UVMAP == 5);
    static_assert(TXRPT_RESET == 0 && TXRPT_EDGE == 3);

    static_assert(SLOT(LWImageList, name) == 4 && SLOT(LWImageList, evaluate) == 19);
    static_assert(sizeof(LWImageList) == PTRS(19));
    static_assert(SLOT(LWImageUtil, setPixel) == 4);
    static_assert(SLOT(LWImageUtil, saverCount) == 8 && SLOT(LWImageUtil, saverName) == 9);
    static_assert(sizeof(LWImageUtil) == PTRS(9));
    static_assert(LWIMTYP_RGB24 == 0 && LWIMTYP_RGBA32 == 5 && LWIMTYP_SPECIAL == 7);

    static_assert(SLOT(LWLoadState, readStr) == 11 && SLOT(LWLoadState, depth) == 15);
    static_assert(SLOT(LWSaveState, beginBlk) == 13 && SLOT(LWSaveState, depth) == 15);
    static_assert(LWIO_BINARY == 0 && LWIO_ASCII == 1);
}

// A typo in a service or class name makes the host answer NULL, which the
// plug-ins report as a missing service: compare each with the host's text.
TEST(SdkLayout, ServiceAndClassNames) {
    struct Name { const char *macro, *text; };
    const Name names[] = {
        {LWMESSAGEFUNCS_GLOBAL, "Info Messages 2"},
        {LWPANELFUNCS_GLOBAL, "LWPanelServices"},
        {LWFILEACTIVATEFUNC_GLOBAL, "File Request 2"},
        {LWFILEREQFUNC_GLOBAL, "File Request"},
        {LWITEMINFO_GLOBAL, "LW Item Info 3"},
        {LWSCENEINFO_GLOBAL, "LW Scene Info 3"},
        {LWOBJECTINFO_GLOBAL, "LW Object Info 4"},
        {LWINTERFACEINFO_GLOBAL, "LW Interface Info 3"},
        {LWBONEINFO_GLOBAL, "LW Bone Info 3"},
        {LWOBJECTFUNCS_GLOBAL, "Scene Objects 4"},
        {LWSURFACEFUNCS_GLOBAL, "Surface Functions 2"},
        {LWTEXTUREFUNCS_GLOBAL, "Texture Functions 2"},
        {LWIMAGELIST_GLOBAL, "LW Image List 3"},
        {LWIMAGEUTIL_GLOBAL, "Image Utility"},
        {LWGLOBALPOOL_RENDER_GLOBAL, "Global Render Memory"},
        {LWGLOBALPOOL_GLOBAL, "Global Memory"},
        {LWSTATEQUERYFUNCS_GLOBAL, "LWM: State Query 3"},
        {LWLAYOUTGENERIC_CLASS, "LayoutGeneric"},
        {LWMODCOMMAND_CLASS, "CommandSequence"},
    };
    for (const Name &n : names) EXPECT_STREQ(n.macro, n.text);
}

// The same headers compiled as C (sdk_headers_c.c) must give the same sizes,
// so a C plug-in and this C++ host agree on every record.
extern "C" const std::size_t sdk_c_sizes[];
extern "C" const int sdk_c_size_count;

TEST(SdkLayout, CAndCppAgree) {
    const std::size_t cpp_sizes[] = {
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
    ASSERT_EQ(sdk_c_size_count, static_cast<int>(sizeof cpp_sizes / sizeof cpp_sizes[0]));
    for (int i = 0; i < sdk_c_size_count; ++i) EXPECT_EQ(sdk_c_sizes[i], cpp_sizes[i]) << "entry " << i;
}
