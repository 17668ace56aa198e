// The panel's scale run in-process over the host's toolkit: a number in the
// field beyond the float range is an infinity of its sign, both when the
// box is switched and when the import button reads it, with no overflowing
// conversion on the way (the sanitizer build runs this too).
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include <lwpanel.h>

#include "import_fixture.h"
#include "ui_script.h"

namespace {

constexpr float kInfinity = std::numeric_limits<float>::infinity();

LWPanelFuncs* host_panels(importtest::Importer& x) {
    return static_cast<LWPanelFuncs*>(x.host.global(LWPANELFUNCS_GLOBAL, 0));
}

TEST(MeshImportPanelScale, AHugeFieldGivesAnInfiniteScale) {
    for (double typed : {1e300, -1e300, std::ldexp(1.0, 128), -std::ldexp(1.0, 128)}) {
        importtest::Importer x;
        x.host.script()
            .set(lwhost::unlabelled("float", 0), typed)
            .set("Scale geometry:", 0)
            .set("Scale geometry:", 1)  // the toggle reads the field
            .close();
        ASSERT_EQ(mesh_run_panel(x.state, host_panels(x)), 0) << typed;
        EXPECT_EQ(x.state.scale, typed > 0 ? kInfinity : -kInfinity) << typed;
        EXPECT_TRUE(x.host.messages.empty()) << typed;
    }
    {  // switched off again: 1 whatever the field holds
        importtest::Importer x;
        x.host.script()
            .set(lwhost::unlabelled("float", 0), 1e300)
            .set("Scale geometry:", 0)
            .close();
        ASSERT_EQ(mesh_run_panel(x.state, host_panels(x)), 0);
        EXPECT_EQ(x.state.scale, 1.0f);
    }
    {  // the button reads it too, and the points land at infinity
        importtest::Importer x;
        importtest::TempDir dir;
        const std::string path = dir.file("one.smd");
        importtest::write_file(path, importtest::smd_file("skin\n"
                                                          "0 1 2 3 0 0 1 0 0\n"
                                                          "0 -4 5 6 0 0 1 1 0\n"
                                                          "0 7 8 -9 0 0 1 0 1\n"));
        x.host.script()
            .set(lwhost::unlabelled("float", 0), 1e300)
            .press("Import SMD Mesh File")
            .answer_file(path)
            .close();
        ASSERT_EQ(mesh_run_panel(x.state, host_panels(x)), 0);
        EXPECT_EQ(x.state.scale, kInfinity);
        ASSERT_EQ(x.point_count(), 3u);
        // File x, y, z become host x, z, y.
        const double inf = std::numeric_limits<double>::infinity();
        EXPECT_EQ(x.position(0), (std::vector<double>{inf, inf, inf}));
        EXPECT_EQ(x.position(1), (std::vector<double>{-inf, inf, inf}));
        EXPECT_EQ(x.position(2), (std::vector<double>{inf, -inf, inf}));
    }
}

}  // namespace
