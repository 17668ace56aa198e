#include "host_glue.h"

#include <clocale>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

// A Layout generic / Modeler command local that records what it is given.
struct Recorder {
    std::vector<std::string> texts;
    void* data_seen = nullptr;
};
Recorder* g_recorder = nullptr;

int record_evaluate(void* data, const char* text) {
    g_recorder->data_seen = data;
    g_recorder->texts.emplace_back(text);
    return 1;
}

class CommandTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_recorder = &recorder;
        generic.data = &recorder;
        generic.evaluate = record_evaluate;
        modeler.data = &recorder;
        modeler.evaluate = record_evaluate;
    }
    Recorder recorder;
    LWLayoutGeneric generic{};
    LWModCommand modeler{};
};

TEST_F(CommandTest, WordAloneKeepsItsTrailingBlanks) {
    send_command(&generic, "EditBones");
    send_command(&generic, "BoneActive ");
    send_modeler_command(&modeler, "Surf_SetSurf ");
    EXPECT_EQ(recorder.texts, (std::vector<std::string>{"EditBones", "BoneActive ", "Surf_SetSurf "}));
    EXPECT_EQ(recorder.data_seen, &recorder);
}

TEST_F(CommandTest, WordAndArgumentsJoinedByOneBlank) {
    send_command(&generic, "BoundingBoxThreshold", "%d", 5001);
    send_command(&generic, "SelectItem ", "%x", 0x4001000au);
    send_command(&generic, "BoneStrength  ", "%f", 1.0);
    send_modeler_command(&modeler, "Surf_SetFloat  ", "%s %3.3f", "SmoothingAngle", 3.14159265);
    EXPECT_EQ(recorder.texts, (std::vector<std::string>{"BoundingBoxThreshold 5001", "SelectItem  4001000a",
                                                         "BoneStrength   1.000000",
                                                         "Surf_SetFloat   SmoothingAngle 3.142"}));
}

TEST_F(CommandTest, LongArgumentsAreCutNotOverflowed) {
    std::string huge(5000, 'x');
    send_command(&generic, "AddBone", "%s", huge.c_str());
    ASSERT_EQ(recorder.texts.size(), 1u);
    EXPECT_EQ(recorder.texts[0].size(), COMMAND_TEXT_SIZE - 1);
    EXPECT_EQ(recorder.texts[0].compare(0, 8, "AddBone "), 0);

    std::string long_word(3000, 'w');
    send_command(&generic, long_word.c_str(), "%d", 1);
    EXPECT_EQ(recorder.texts[1].size(), COMMAND_TEXT_SIZE - 1);
}

TEST_F(CommandTest, MissingLocalSendsNothing) {
    EXPECT_EQ(send_command(nullptr, "EditBones"), 0);
    LWLayoutGeneric no_evaluate{};
    EXPECT_EQ(send_command(&no_evaluate, "GoToFrame", "%d", 3), 0);
    EXPECT_EQ(send_modeler_command(nullptr, "Surf_SetSurf ", "%s", "a"), 0);
    EXPECT_TRUE(recorder.texts.empty());
}

TEST_F(CommandTest, NumbersUseAPointWhateverTheLocale) {
    const char* locales[] = {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8", "ru_RU.UTF-8"};
    const char* found = nullptr;
    for (const char* name : locales)
        if (std::setlocale(LC_NUMERIC, name)) {
            found = name;
            break;
        }
    if (!found) GTEST_SKIP() << "no locale with a decimal comma installed";
    send_command(&generic, "Position ", "%f %f %f", 0.025, 0.075, -0.5);
    char text[64];
    format_c_locale(text, sizeof text, "%3.3f", 2.5);
    std::setlocale(LC_NUMERIC, "C");
    EXPECT_EQ(recorder.texts[0], "Position  0.025000 0.075000 -0.500000");
    EXPECT_STREQ(text, "2.500");
}

// --- file requests ---------------------------------------------------------

struct RequestSeen {
    int version = 0;
    LWFileReqLocal record{};
    int answer_result = 1;
    int answer_return = AFUNC_OK;
};
RequestSeen* g_request = nullptr;

int fake_request(int version, LWFileReqLocal* local) {
    g_request->version = version;
    g_request->record = *local;
    std::strcpy(local->fullName, "/out/model.smd");
    local->result = g_request->answer_result;
    return g_request->answer_return;
}

void* fake_global(const char* name, int) {
    if (std::strcmp(name, "File Request 2") == 0) return reinterpret_cast<void*>(fake_request);
    return nullptr;
}
void* empty_global(const char*, int) { return nullptr; }

TEST(FileRequest, FillsTheRecordWithTheCallersBuffers) {
    static FileNameBuffers buffers{};
    std::strcpy(buffers.path, "/previous/folder");
    LWFileReqLocal request{};
    fill_file_request(request, buffers, FREQ_SAVE, "Save SMD File", "SMD File");
    EXPECT_EQ(request.reqType, FREQ_SAVE);
    EXPECT_STREQ(request.title, "Save SMD File");
    EXPECT_STREQ(request.fileType, "SMD File");
    EXPECT_EQ(request.path, buffers.path);
    EXPECT_EQ(request.baseName, buffers.base_name);
    EXPECT_EQ(request.fullName, buffers.full_name);
    EXPECT_EQ(request.bufLen, 1024);
    EXPECT_EQ(request.pickName, nullptr);
    EXPECT_STREQ(buffers.path, "/previous/folder");  // the last folder is offered again
}

TEST(FileRequest, BaseNameIsCutToFit) {
    static FileNameBuffers buffers{};
    std::string long_name(2000, 'n');
    EXPECT_EQ(set_base_name(buffers, long_name.c_str()), 1023u);
    EXPECT_EQ(std::strlen(buffers.base_name), 1023u);
    EXPECT_EQ(set_base_name(buffers, nullptr), 0u);
    EXPECT_STREQ(buffers.base_name, "");
}

TEST(FileRequest, RunReportsPickCancelFailureAndMissingService) {
    static FileNameBuffers buffers{};
    RequestSeen seen;
    g_request = &seen;
    LWFileReqLocal request{};
    fill_file_request(request, buffers, FREQ_LOAD, "Open SMD Reference File", "SMD File");

    EXPECT_EQ(run_file_request(fake_global, request), 1);
    EXPECT_EQ(seen.version, 3);
    EXPECT_STREQ(buffers.full_name, "/out/model.smd");

    seen.answer_result = 0;  // cancelled
    EXPECT_EQ(run_file_request(fake_global, request), 0);
    seen.answer_result = -1;  // the requester's own error
    EXPECT_EQ(run_file_request(fake_global, request), 0);
    seen.answer_result = 1;
    seen.answer_return = AFUNC_BADLOCAL;  // the call failed
    EXPECT_EQ(run_file_request(fake_global, request), 0);

    EXPECT_EQ(run_file_request(empty_global, request), 0);
    EXPECT_EQ(run_file_request(nullptr, request), 0);
}

TEST(Module, StartupReturnsTheTokenFour) {
    EXPECT_EQ(plugin_startup(), reinterpret_cast<void*>(std::uintptr_t(4)));
    plugin_shutdown(plugin_startup());
}

}  // namespace
