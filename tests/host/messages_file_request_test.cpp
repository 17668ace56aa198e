// "Info Messages 2" and "File Request 2", called as a plug-in calls them.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "host.h"
#include "lwhost.h"
#include "lwserver.h"
#include "ui_script.h"

namespace lwhost {
namespace {

TEST(MessagesTest, KeepsEveryMessageAndAnswersQuestionsYes) {
    Host host;
    auto* messages = static_cast<LWMessageFuncs*>(host.global("Info Messages 2", 0));
    ASSERT_NE(messages, nullptr);
    messages->error("Unable to save file!", nullptr);
    messages->info("first", "second");
    messages->warning("", "");
    messages->error(nullptr, nullptr);
    EXPECT_EQ(messages->okCancel("Title", "Go?", nullptr), 1);
    EXPECT_EQ(messages->yesNo("T2", "a", "b"), 1);
    EXPECT_EQ(messages->yesNoCan(nullptr, nullptr, nullptr), 2);
    EXPECT_EQ(messages->yesNoAll("T4", "all?", nullptr), 3);

    ASSERT_EQ(host.messages.size(), 8u);
    const Message& error = host.messages[0];
    EXPECT_EQ(error.level, MessageLevel::Error);
    EXPECT_EQ(error.line1, "Unable to save file!");
    EXPECT_FALSE(error.has_line2);
    EXPECT_EQ(host.messages[1].level, MessageLevel::Info);
    EXPECT_EQ(host.messages[1].line2, "second");
    EXPECT_TRUE(host.messages[1].has_line2);
    EXPECT_EQ(host.messages[2].level, MessageLevel::Warning);
    EXPECT_TRUE(host.messages[2].has_line2) << "an empty second line is still a line";
    EXPECT_EQ(host.messages[3].line1, "");
    EXPECT_EQ(host.messages[4].level, MessageLevel::Question);
    EXPECT_EQ(host.messages[4].title, "Title");
    EXPECT_EQ(host.messages[4].line1, "Go?");
    EXPECT_FALSE(host.messages[4].has_line2);
    EXPECT_EQ(host.messages[7].title, "T4");
}

// A save request as the exporters fill it: 1024-byte buffers unless the test
// says otherwise, with a default name in the base name.
struct FileRequestTest : ::testing::Test {
    Host host;
    LWFileActivateFunc* request = nullptr;
    std::vector<char> path, base, full;
    LWFileReqLocal local{};

    void SetUp() override {
        request = reinterpret_cast<LWFileActivateFunc*>(host.global("File Request 2", 0));
        ASSERT_NE(request, nullptr);
        prepare(1024);
    }
    void prepare(int length) {
        path.assign(std::size_t(length), '\0');
        base.assign(std::size_t(length), '\0');
        full.assign(std::size_t(length), '\0');
        std::strcpy(path.data(), "/start");
        std::strcpy(base.data(), "ship.smd");
        local = LWFileReqLocal{};
        local.reqType = FREQ_SAVE;
        local.result = 7;   // whatever the previous request left
        local.title = "Save SMD File";
        local.fileType = "SMD File";
        local.path = path.data();
        local.baseName = base.data();
        local.fullName = full.data();
        local.bufLen = length;
    }
};

TEST_F(FileRequestTest, AnswerFillsTheBuffersAndIsRecorded) {
    host.script().answer_file("/tmp/out dir/model.smd").answer_file("plain.smd").answer_file("/root.smd");
    EXPECT_EQ(request(LWFILEREQ_VERSION, &local), AFUNC_OK);
    EXPECT_EQ(local.result, 1);
    EXPECT_STREQ(full.data(), "/tmp/out dir/model.smd");
    EXPECT_STREQ(path.data(), "/tmp/out dir");
    EXPECT_STREQ(base.data(), "model.smd");

    ASSERT_EQ(host.file_requests.size(), 1u);
    const FileRequestRecord& record = host.file_requests[0];
    EXPECT_EQ(record.version, 3);
    EXPECT_EQ(record.type, FREQ_SAVE);
    EXPECT_EQ(record.title, "Save SMD File");
    EXPECT_EQ(record.file_type, "SMD File");
    EXPECT_EQ(record.path_in, "/start");
    EXPECT_EQ(record.base_name_in, "ship.smd");
    EXPECT_EQ(record.buffer_length, 1024);
    EXPECT_EQ(record.result, 1);
    EXPECT_EQ(record.returned, 0);
    EXPECT_EQ(record.full_name, "/tmp/out dir/model.smd");

    // The previous answer is what the plug-in offers next time.
    EXPECT_EQ(request(LWFILEREQ_VERSION, &local), AFUNC_OK);
    EXPECT_EQ(host.file_requests[1].base_name_in, "model.smd");
    EXPECT_STREQ(path.data(), "");
    EXPECT_STREQ(base.data(), "plain.smd");
    EXPECT_EQ(request(LWFILEREQ_VERSION, &local), AFUNC_OK);
    EXPECT_STREQ(path.data(), "/");
    EXPECT_STREQ(base.data(), "root.smd");
    EXPECT_TRUE(host.diagnostics.empty());
}

TEST_F(FileRequestTest, CancelFailAndNoAnswer) {
    host.script().cancel_file().fail_file().press("Save SMD file");
    EXPECT_EQ(request(LWFILEREQ_VERSION, &local), AFUNC_OK);
    EXPECT_EQ(local.result, 0);
    EXPECT_STREQ(base.data(), "ship.smd") << "a cancel leaves the buffers";

    local.result = 1;   // a static record still holding the last success
    EXPECT_EQ(request(LWFILEREQ_VERSION, &local), AFUNC_BADAPP);
    EXPECT_EQ(local.result, 1) << "only the return value says it failed";
    EXPECT_EQ(host.file_requests[1].returned, AFUNC_BADAPP);

    // The next action is not an answer: cancelled, and the action stays.
    EXPECT_EQ(request(LWFILEREQ_VERSION, &local), AFUNC_OK);
    EXPECT_EQ(local.result, 0);
    EXPECT_EQ(host.script().consumed(), 2u);
    // And with the script at its end.
    host.script().consume();
    EXPECT_EQ(request(LWFILEREQ_VERSION, &local), AFUNC_OK);
    EXPECT_EQ(host.diagnostics,
              (std::vector<std::string>{
                  "file request \"Save SMD File\": the script has no answer "
                  "(next: press \"Save SMD file\"); cancelled",
                  "file request \"Save SMD File\": the script has no answer (it ran out); cancelled"}));
    EXPECT_EQ(host.file_requests.size(), 4u);
}

TEST_F(FileRequestTest, BadVersionsRecordsAndBuffers) {
    host.script().answer_file("/tmp/a.smd");
    EXPECT_EQ(request(2, &local), AFUNC_BADVERSION);
    EXPECT_EQ(request(4, nullptr), AFUNC_BADVERSION);
    EXPECT_EQ(local.result, 7);
    EXPECT_EQ(request(LWFILEREQ_VERSION, nullptr), AFUNC_BADLOCAL);
    local.fullName = nullptr;
    EXPECT_EQ(request(LWFILEREQ_VERSION, &local), AFUNC_BADLOCAL);
    local.fullName = full.data();
    local.bufLen = 0;
    EXPECT_EQ(request(LWFILEREQ_VERSION, &local), AFUNC_BADLOCAL);
    EXPECT_EQ(host.script().consumed(), 0u) << "no requester showed, the answer stays";
    ASSERT_EQ(host.file_requests.size(), 5u);
    EXPECT_EQ(host.file_requests[0].version, 2);
    EXPECT_EQ(host.file_requests[0].returned, AFUNC_BADVERSION);
    EXPECT_EQ(host.file_requests[0].title, "") << "nothing read from a record of another version";

    // Buffers read no further than bufLen, terminated or not.
    prepare(8);
    std::memcpy(path.data(), "12345678", 8);   // no terminator inside bufLen
    host.script().clear();
    host.script().answer_file("/d/a.sm").answer_file("/d/ab.sm");   // 7 + 1 bytes fit; 8 + 1 do not
    EXPECT_EQ(request(LWFILEREQ_VERSION, &local), AFUNC_OK);
    EXPECT_EQ(host.file_requests.back().path_in, "12345678");
    EXPECT_EQ(local.result, 1);
    EXPECT_STREQ(full.data(), "/d/a.sm");
    std::strcpy(full.data(), "keep");
    EXPECT_EQ(request(LWFILEREQ_VERSION, &local), AFUNC_OK);
    EXPECT_EQ(local.result, 0) << "a path that does not fit is refused, not cut";
    EXPECT_STREQ(full.data(), "keep");
    EXPECT_EQ(host.diagnostics.back(),
              "file request \"Save SMD File\": answer of 8 bytes does not fit bufLen 8; cancelled");
    EXPECT_TRUE(host.script().finished());
}

}  // namespace
}  // namespace lwhost
