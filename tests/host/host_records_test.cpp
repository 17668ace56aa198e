// What a host keeps of a run. Tests read every command and panel view; a
// user's job (the command-line tool) turns that off, and the commands must
// then be carried out exactly as before, only not remembered.
#include <gtest/gtest.h>

#include "host.h"
#include "scene_builder.h"

namespace lwhost {
namespace {

TEST(HostRecords, WithoutRecordsCommandsAreCarriedOutButNotLogged) {
    for (bool keep : {true, false}) {
        SCOPED_TRACE(keep ? "kept" : "not kept");
        Host host;
        SceneBuilder(host.scene).fps(24).preview(0, 100);
        host.keep_records = keep;
        EXPECT_EQ(host.layout_command("GoToFrame 12"), 1);
        EXPECT_EQ(host.layout_command("PreviewLastFrame 48"), 1);
        EXPECT_EQ(host.layout_command("NoSuchCommand 1"), 0);
        EXPECT_DOUBLE_EQ(host.scene.settings.time, 0.5);
        EXPECT_EQ(host.scene.settings.preview_end, 48);
        EXPECT_EQ(host.command_log.size(), keep ? 3u : 0u);
        EXPECT_EQ(host.diagnostics.size(), 1u) << "a command that fails is still noted";
    }
}

}  // namespace
}  // namespace lwhost
