// The panel helpers over a fake toolkit that records every call: panel
// creation with and without the version check, typed controls and popups as
// the toolkit receives them, the mesh exporters' grouping popup, and the
// "Scale geometry:" reading, whose float conversion saturates instead of
// overflowing.
#include "panel_kit.h"

#include <cfloat>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "export_names.h"

namespace {

// ---- a toolkit that records ------------------------------------------------------

struct FakeControl {
    LWControl control{};
    int label_width = 0;
    int int_value = 0;
    double float_value = 0.0;
    int x = -1, y = -1;
    void* userdata = nullptr;
    void* event = nullptr;
    std::vector<DrMode> draws;
};

FakeControl* fake_of(LWControlID id) {
    // LWControl is the first member, so the control's address is the record's.
    return reinterpret_cast<FakeControl*>(id);
}

void fake_control_draw(LWControlID id, DrMode mode) { fake_of(id)->draws.push_back(mode); }

void fake_control_get(LWControlID id, cTag tag, LWValue* value) {
    FakeControl* fake = fake_of(id);
    if (tag == CTL_LABELWIDTH) value->intv.value = fake->label_width;
    if (tag == CTL_VALUE && value->type == LWT_FLOAT) value->flt.value = fake->float_value;
    if (tag == CTL_VALUE && value->type == LWT_INTEGER) value->intv.value = fake->int_value;
}

void fake_control_set(LWControlID id, cTag tag, LWValue* value) {
    FakeControl* fake = fake_of(id);
    if (tag == CTL_X) fake->x = value->intv.value;
    if (tag == CTL_Y) fake->y = value->intv.value;
    if (tag == CTL_USERDATA) fake->userdata = value->ptr.ptr;
    if (tag == CTL_USEREVENT) fake->event = value->ptr.ptr;
    if (tag == CTL_VALUE && value->type == LWT_FLOAT) fake->float_value = value->flt.value;
    if (tag == CTL_VALUE && value->type == LWT_INTEGER) fake->int_value = value->intv.value;
}

FakeControl make_control() {
    FakeControl fake;
    fake.control.draw = fake_control_draw;
    fake.control.get = fake_control_get;
    fake.control.set = fake_control_set;
    return fake;
}

struct FakeToolkit {
    std::vector<std::string> calls;   // in order, with their arguments
    int version = LWPANELS_API_VERSION;
    bool refuse_create = false;
    bool refuse_controls = false;
    void* funcs_given = nullptr;      // create's second argument
    LWPanControlDesc last_desc{};
    FakeControl control = make_control();
};
FakeToolkit* g_toolkit = nullptr;
int g_panel = 0;  // its address is the fake panel

LWPanelID fake_create(char* title, void* funcs) {
    g_toolkit->calls.push_back(std::string("create ") + title);
    g_toolkit->funcs_given = funcs;
    return g_toolkit->refuse_create ? nullptr : &g_panel;
}

void fake_destroy(LWPanelID panel) { g_toolkit->calls.push_back(panel == &g_panel ? "destroy" : "destroy ?"); }

void fake_get(LWPanelID, pTag tag, void* value) {
    g_toolkit->calls.push_back("get " + std::to_string(tag));
    if (tag == PAN_VERSION) *static_cast<int*>(value) = g_toolkit->version;
}

void fake_set(LWPanelID, pTag tag, void* value) {
    g_toolkit->calls.push_back("set " + std::to_string(tag) + " " + std::to_string(*static_cast<int*>(value)));
}

LWControl* fake_add(LWPanelID, char* type, LWPanControlDesc* desc, char* label) {
    g_toolkit->calls.push_back(std::string("add ") + type + " \"" + label + "\"");
    g_toolkit->last_desc = *desc;
    return g_toolkit->refuse_controls ? nullptr : &g_toolkit->control.control;
}

class PanelKit : public ::testing::Test {
protected:
    void SetUp() override {
        g_toolkit = &toolkit;
        funcs.create = fake_create;
        funcs.destroy = fake_destroy;
        funcs.get = fake_get;
        funcs.set = fake_set;
        funcs.addControl = fake_add;
    }
    void TearDown() override { g_toolkit = nullptr; }

    FakeToolkit toolkit;
    LWPanelFuncs funcs{};
};

const std::string GET_VERSION = "get " + std::to_string(PAN_VERSION);
const std::string SET_W = "set " + std::to_string(PAN_W) + " ";
const std::string SET_H = "set " + std::to_string(PAN_H) + " ";

int count_of(void*) { return 2; }
char* name_of(void*, int) { return panel_text("item"); }

// ---- panels -------------------------------------------------------------------------

TEST_F(PanelKit, CheckedPanelIsSizedOnlyForTheExpectedVersion) {
    {  // the toolkit's own version: create, ask the version, size it
        EXPECT_EQ(panel_create_checked(&funcs, "Title", 520, 432), &g_panel);
        EXPECT_EQ(toolkit.calls, (std::vector<std::string>{"create Title", GET_VERSION, SET_W + "520", SET_H + "432"}));
        EXPECT_EQ(toolkit.funcs_given, &funcs);
    }
    for (int version : {LWPANELS_API_VERSION - 1, LWPANELS_API_VERSION + 1, 0}) {  // made, then destroyed again
        toolkit.calls.clear();
        toolkit.version = version;
        EXPECT_EQ(panel_create_checked(&funcs, "Title", 520, 432), nullptr) << version;
        EXPECT_EQ(toolkit.calls, (std::vector<std::string>{"create Title", GET_VERSION, "destroy"})) << version;
    }
    {  // create refused: nothing more is asked
        toolkit.calls.clear();
        toolkit.version = LWPANELS_API_VERSION;
        toolkit.refuse_create = true;
        EXPECT_EQ(panel_create_checked(&funcs, "Title", 520, 432), nullptr);
        EXPECT_EQ(toolkit.calls, std::vector<std::string>{"create Title"});
    }
    {  // no toolkit, or one without create
        toolkit.calls.clear();
        EXPECT_EQ(panel_create_checked(nullptr, "Title", 520, 432), nullptr);
        LWPanelFuncs no_create = funcs;
        no_create.create = nullptr;
        EXPECT_EQ(panel_create_checked(&no_create, "Title", 520, 432), nullptr);
        EXPECT_TRUE(toolkit.calls.empty());
    }
}

TEST_F(PanelKit, SizedPanelTakesAnyVersion) {
    toolkit.version = 3;
    EXPECT_EQ(panel_create_sized(&funcs, "Other", 320, 210), &g_panel);
    EXPECT_EQ(toolkit.calls, (std::vector<std::string>{"create Other", SET_W + "320", SET_H + "210"}));

    toolkit.calls.clear();
    toolkit.refuse_create = true;
    EXPECT_EQ(panel_create_sized(&funcs, "Other", 320, 210), nullptr);
    EXPECT_EQ(toolkit.calls, std::vector<std::string>{"create Other"});
    EXPECT_EQ(panel_create_sized(nullptr, "Other", 320, 210), nullptr);
}

// ---- controls -----------------------------------------------------------------------

TEST_F(PanelKit, TypedControlCarriesItsTypeAndIsPlaced) {
    EXPECT_EQ(panel_add_typed(&funcs, &g_panel, "FloatControl", LWT_FLOAT, "", 112, 288), &toolkit.control.control);
    EXPECT_EQ(toolkit.calls, std::vector<std::string>{"add FloatControl \"\""});
    EXPECT_EQ(toolkit.last_desc.type, LWT_FLOAT);
    EXPECT_EQ(toolkit.control.x, 112);
    EXPECT_EQ(toolkit.control.y, 288);

    toolkit.refuse_controls = true;
    EXPECT_EQ(panel_add_typed(&funcs, &g_panel, "ButtonControl", LWT_INTEGER, "Save", 1, 2), nullptr);
    EXPECT_EQ(toolkit.last_desc.type, LWT_INTEGER);
}

TEST_F(PanelKit, PopupFieldStartsWhereAskedAndItsCallbacksGetTheData) {
    toolkit.control.label_width = 133;
    int data = 0;
    EXPECT_EQ(panel_add_popup(&funcs, &g_panel, "Group Triangles by:", 180, count_of, name_of, 160, 42, &data),
              &toolkit.control.control);
    EXPECT_EQ(toolkit.calls, std::vector<std::string>{"add CustomPopupControl \"Group Triangles by:\""});
    EXPECT_EQ(toolkit.last_desc.popup.type, LWT_POPUP);
    EXPECT_EQ(toolkit.last_desc.popup.width, 180);
    EXPECT_EQ(toolkit.last_desc.popup.countFn, &count_of);
    EXPECT_EQ(toolkit.last_desc.popup.nameFn, &name_of);
    EXPECT_EQ(toolkit.control.x, 160 - 133);
    EXPECT_EQ(toolkit.control.y, 42);
    EXPECT_EQ(toolkit.control.userdata, &data);
    EXPECT_EQ(toolkit.control.event, nullptr);

    toolkit.refuse_controls = true;
    EXPECT_EQ(panel_add_popup(&funcs, &g_panel, "UV Map:", 180, count_of, name_of, 150, 10, &data), nullptr);
}

// ---- the grouping popup ------------------------------------------------------------

TEST(PanelKitGrouping, WithoutUvMapsTheFirstItemIsLeftOut) {
    {  // with UV maps: all three, in GroupBy order
        EXPECT_EQ(panel_group_count(2), 3);
        EXPECT_EQ(panel_group_of_item(2, 0), GROUP_BY_UV_MAP);
        EXPECT_EQ(panel_group_of_item(2, 1), GROUP_BY_SURFACE);
        EXPECT_EQ(panel_group_of_item(2, 2), GROUP_BY_TEXTURE);
        EXPECT_STREQ(panel_group_name(1, 0), "UV Texture Map Name");
        EXPECT_STREQ(panel_group_name(1, 1), "Surface Name");
        EXPECT_STREQ(panel_group_name(1, 2), "Surface Texture Image Name");
    }
    {  // without: surface and texture only
        EXPECT_EQ(panel_group_count(0), 2);
        EXPECT_EQ(panel_group_of_item(0, 0), GROUP_BY_SURFACE);
        EXPECT_EQ(panel_group_of_item(0, 1), GROUP_BY_TEXTURE);
        EXPECT_STREQ(panel_group_name(0, 0), "Surface Name");
        EXPECT_STREQ(panel_group_name(0, 1), "Surface Texture Image Name");
    }
    {  // an item the popup does not have stands for its first
        EXPECT_EQ(panel_group_of_item(1, 3), GROUP_BY_UV_MAP);
        EXPECT_EQ(panel_group_of_item(1, -1), GROUP_BY_UV_MAP);
        EXPECT_EQ(panel_group_of_item(0, 2), GROUP_BY_SURFACE);
        EXPECT_EQ(panel_group_of_item(0, -1), GROUP_BY_SURFACE);
        EXPECT_STREQ(panel_group_name(0, 2), "Surface Name");
    }
}

// ---- the scale setting ----------------------------------------------------------------

TEST(PanelKitFloat, RoundsAsIeeeWithoutAnOverflowingConversion) {
    const float inf = std::numeric_limits<float>::infinity();
    EXPECT_EQ(float_from_double(1e300), inf);
    EXPECT_EQ(float_from_double(-1e300), -inf);
    EXPECT_EQ(float_from_double(DBL_MAX), inf);
    EXPECT_EQ(float_from_double(-DBL_MAX), -inf);
    // Past FLT_MAX but below half its last place, rounding still gives
    // FLT_MAX; from the half on (a tie, rounded to even) it gives infinity.
    const double half_place = std::ldexp(1.0, 128) - std::ldexp(1.0, 103);
    EXPECT_EQ(float_from_double(std::nextafter(double(FLT_MAX), 1e300)), FLT_MAX);
    EXPECT_EQ(float_from_double(-std::nextafter(double(FLT_MAX), 1e300)), -FLT_MAX);
    EXPECT_EQ(float_from_double(std::nextafter(half_place, 0.0)), FLT_MAX);
    EXPECT_EQ(float_from_double(half_place), inf);
    EXPECT_EQ(float_from_double(-half_place), -inf);
    EXPECT_EQ(float_from_double(std::numeric_limits<double>::infinity()), inf);
    EXPECT_EQ(float_from_double(-std::numeric_limits<double>::infinity()), -inf);

    // Inside the range: the plain conversion (the nearest float).
    EXPECT_EQ(float_from_double(double(FLT_MAX)), FLT_MAX);
    EXPECT_EQ(float_from_double(-double(FLT_MAX)), -FLT_MAX);
    EXPECT_EQ(float_from_double(0.025), 0.025f);
    EXPECT_EQ(float_from_double(-12.5), -12.5f);
    EXPECT_EQ(float_from_double(1e-300), 0.0f);
    EXPECT_TRUE(std::signbit(float_from_double(-0.0)));
    EXPECT_TRUE(std::isnan(float_from_double(std::numeric_limits<double>::quiet_NaN())));
}

TEST(PanelKitScale, FieldCountsOnlyWhileTheBoxIsOn) {
    FakeControl box = make_control();
    FakeControl field = make_control();
    field.float_value = 12.5;

    box.int_value = 1;
    EXPECT_EQ(panel_scale_setting(&box.control, &field.control), 12.5f);
    field.float_value = 1e300;
    EXPECT_EQ(panel_scale_setting(&box.control, &field.control), std::numeric_limits<float>::infinity());
    field.float_value = -1e300;
    EXPECT_EQ(panel_scale_setting(&box.control, &field.control), -std::numeric_limits<float>::infinity());
    field.float_value = 0.0;
    EXPECT_EQ(panel_scale_setting(&box.control, &field.control), 0.0f);  // the caller decides what 0 means

    box.int_value = 0;
    field.float_value = 12.5;
    EXPECT_EQ(panel_scale_setting(&box.control, &field.control), 1.0f);
    // A refused box reads as off.
    EXPECT_EQ(panel_scale_setting(nullptr, &field.control), 1.0f);
    EXPECT_TRUE(box.draws.empty() && field.draws.empty());
}

TEST(PanelKitScale, ToggleGhostsTheFieldWhileTheBoxIsOff) {
    FakeControl box = make_control();
    FakeControl field = make_control();
    field.float_value = 4.0;

    box.int_value = 0;
    EXPECT_EQ(panel_scale_toggled(&box.control, &field.control), 1.0f);
    box.int_value = 1;
    EXPECT_EQ(panel_scale_toggled(&box.control, &field.control), 4.0f);
    EXPECT_EQ(field.draws, (std::vector<DrMode>{DR_GHOST, DR_RENDER}));
    EXPECT_TRUE(box.draws.empty());

    // A refused field is skipped; its value reads as 0.
    EXPECT_EQ(panel_scale_toggled(&box.control, nullptr), 0.0f);
}

TEST(PanelKitScale, WithAKeptValueTheFieldCountsOnlyWhileTheBoxIsOn) {
    FakeControl box = make_control();
    FakeControl field = make_control();
    field.float_value = 12.5;
    float kept = 40.0f;

    box.int_value = 1;
    EXPECT_EQ(panel_scale_setting(&box.control, &field.control, kept), 12.5f);
    EXPECT_EQ(kept, 12.5f);
    field.float_value = -3.0;
    EXPECT_EQ(panel_scale_setting(&box.control, &field.control, kept), -3.0f);
    field.float_value = 0.0;
    EXPECT_EQ(panel_scale_setting(&box.control, &field.control, kept), 0.0f);  // the caller decides what 0 means
    EXPECT_EQ(kept, 0.0f);

    box.int_value = 0;
    field.float_value = 12.5;
    EXPECT_EQ(panel_scale_setting(&box.control, &field.control, kept), 1.0f);
    EXPECT_EQ(kept, 0.0f) << "an unread field is not taken";
    // A refused box reads as off.
    EXPECT_EQ(panel_scale_setting(nullptr, &field.control, kept), 1.0f);
    EXPECT_TRUE(box.draws.empty() && field.draws.empty());
}

// Past the largest float, an infinity or NaN: the field shows its last good
// value again and that value is the scale; the bad one is never kept.
TEST(PanelKitScale, AValueThatIsNoFiniteFloatIsUndone) {
    FakeControl box = make_control();
    FakeControl field = make_control();
    box.int_value = 1;
    float kept = 40.0f;
    const double inf = std::numeric_limits<double>::infinity();
    const double half_place = std::ldexp(1.0, 128) - std::ldexp(1.0, 103);  // the first that rounds to infinity
    for (double typed : {1e300, -1e300, half_place, inf, -inf, std::numeric_limits<double>::quiet_NaN()}) {
        SCOPED_TRACE(typed);
        field.float_value = typed;
        EXPECT_EQ(panel_scale_setting(&box.control, &field.control, kept), 40.0f);
        EXPECT_EQ(field.float_value, 40.0);
        EXPECT_EQ(kept, 40.0f);
    }
    // The largest float is still a float.
    field.float_value = std::nextafter(half_place, 0.0);
    EXPECT_EQ(panel_scale_setting(&box.control, &field.control, kept), FLT_MAX);
    field.float_value = 1e300;
    EXPECT_EQ(panel_scale_toggled(&box.control, &field.control, kept), FLT_MAX);
    EXPECT_EQ(field.float_value, double(FLT_MAX));
}

}  // namespace
