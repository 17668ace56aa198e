// The user stand-in's script: builders, the text form and its parser.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "ui_script.h"

namespace lwhost {
namespace {

std::vector<UiAction> parse_ok(std::string_view text) {
    std::vector<UiAction> actions;
    std::string error;
    EXPECT_EQ(script_parse(text, actions, error), SCRIPT_OK) << error;
    return actions;
}

std::string parse_error(std::string_view text) {
    std::vector<UiAction> actions;
    std::string error;
    EXPECT_EQ(script_parse(text, actions, error), SCRIPT_BAD_LINE) << "accepted: " << text;
    EXPECT_TRUE(actions.empty());
    return error;
}

TEST(UiScriptTest, BuildersAndTextFormMakeTheSameActions) {
    UiScript built;
    built.set("Scale geometry:", 0)
        .set(unlabelled("float", 0), 12.5)
        .set_rgb("Foreground Color", 255, 0, 7)
        .set_text(unlabelled("StringControl", 2), "a \"quoted\" \\ name")
        .pick("Group Triangles by:", "Surface Name")
        .click("Invalid Geometry List", 0)
        .press("Save SMD file")
        .answer_file("/tmp/out dir/out.smd")
        .cancel_file()
        .fail_file()
        .close()
        .close(false);

    UiScript parsed;
    std::string error;
    ASSERT_EQ(parsed.append_text("# what the user does\n"
                                 "set \"Scale geometry:\" 0\n"
                                 "\n"
                                 "  set float#0 12.5\r\n"
                                 "set \"Foreground Color\" 255 0 7\n"
                                 "set string#2 \"a \\\"quoted\\\" \\\\ name\"\n"
                                 "pick \"Group Triangles by:\" \"Surface Name\"\n"
                                 "click \"Invalid Geometry List\" 0\n"
                                 "press\t\"Save SMD file\"\n"
                                 "file \"/tmp/out dir/out.smd\"\n"
                                 "cancel\n"
                                 "fail\n"
                                 "close ok\n"
                                 "close cancel",
                                 error),
              SCRIPT_OK)
        << error;
    EXPECT_EQ(parsed.actions(), built.actions());

    // Each action's text reads back as the same action.
    for (const UiAction& action : built.actions()) {
        std::vector<UiAction> again = parse_ok(action_text(action));
        ASSERT_EQ(again.size(), 1u);
        EXPECT_EQ(again[0], action) << action_text(action);
    }
    EXPECT_EQ(action_text(built.actions()[1]), "set FloatControl#0 12.5");
    EXPECT_EQ(action_text(built.actions()[3]), "set StringControl#2 \"a \\\"quoted\\\" \\\\ name\"");
    EXPECT_EQ(action_text(built.actions()[11]), "close cancel");
}

TEST(UiScriptTest, NumbersAndControlNames) {
    std::vector<UiAction> actions = parse_ok(
        "set \"a\" 40\n"          // an integer, even for a float control
        "set \"a\" 40.0\n"
        "set \"a\" -0.025\n"
        "set \"a\" 1e3\n"
        "set FloatControl#3 -7\n"
        "file bare/path.smd\n"
        "set \"a\" \"\"\n");
    ASSERT_EQ(actions.size(), 7u);
    EXPECT_EQ(actions[0].value_kind, UiValueKind::Int);
    EXPECT_EQ(actions[0].int_value, 40);
    EXPECT_EQ(actions[1].value_kind, UiValueKind::Float);
    EXPECT_EQ(actions[1].float_value, 40.0);
    EXPECT_EQ(actions[2].float_value, -0.025);
    EXPECT_EQ(actions[3].float_value, 1000.0);
    EXPECT_EQ(actions[4].control.type, "FloatControl");
    EXPECT_EQ(actions[4].control.index, 3);
    EXPECT_TRUE(actions[4].control.label.empty());
    EXPECT_EQ(actions[5].text, "bare/path.smd");
    EXPECT_EQ(actions[6].value_kind, UiValueKind::Text);
    EXPECT_EQ(actions[6].text, "");
    // A whole real written as text keeps its point, so it stays a real.
    UiAction real = actions[1];
    EXPECT_EQ(action_text(real), "set \"a\" 40.0");

    EXPECT_EQ(control_type_name("list"), "MultiListBoxControl");
    EXPECT_EQ(control_type_name("MiniRGBControl"), "MiniRGBControl");
    EXPECT_EQ(control_type_name("Float"), "") << "names are case-sensitive";
}

TEST(UiScriptTest, ParseErrorsNameTheLine) {
    EXPECT_EQ(parse_error("press \"A\"\nfrobnicate \"A\""), "line 2: unknown action \"frobnicate\"");
    EXPECT_EQ(parse_error("set"), "line 1: expected a control: a quoted label or type#n");
    EXPECT_EQ(parse_error("\n\npress Save"),
              "line 3: expected a control: a quoted label or type#n, got \"Save\"");
    EXPECT_EQ(parse_error("press \"Save"),
              "line 1: unterminated quoted text, or no blank after its closing quote");
    EXPECT_EQ(parse_error("press \"Save\"x"),
              "line 1: unterminated quoted text, or no blank after its closing quote");
    EXPECT_EQ(parse_error("set \"\" 1"), "line 1: empty label: name an unlabelled control as type#n");
    EXPECT_EQ(parse_error("set slider#0 1"), "line 1: unknown control type \"slider\"");
    EXPECT_EQ(parse_error("set float#-1 1"), "line 1: bad control number in \"float#-1\"");
    EXPECT_EQ(parse_error("set float#x 1"), "line 1: bad control number in \"float#x\"");
    EXPECT_EQ(parse_error("set \"A\""), "line 1: expected a value");
    EXPECT_EQ(parse_error("set \"A\" 1x"), "line 1: bad number \"1x\"");
    EXPECT_EQ(parse_error("set \"A\" +1"), "line 1: bad number \"+1\"");
    EXPECT_EQ(parse_error("set \"A\" 99999999999"), "line 1: bad number \"99999999999\"");
    EXPECT_EQ(parse_error("set \"A\" 1.5.5"), "line 1: bad number \"1.5.5\"");
    EXPECT_EQ(parse_error("set \"A\" 1 2"), "line 1: expected one number, three integers or a quoted text");
    EXPECT_EQ(parse_error("set \"A\" 1 2 3 4"),
              "line 1: expected one number, three integers or a quoted text");
    EXPECT_EQ(parse_error("set \"A\" 1 2.5 3"), "line 1: a colour takes three integers, got \"2.5\"");
    EXPECT_EQ(parse_error("set \"A\" \"t\" 1"), "line 1: unexpected \"1\" at the end");
    EXPECT_EQ(parse_error("pick \"A\""), "line 1: expected the item's text");
    EXPECT_EQ(parse_error("click \"A\""), "line 1: expected a row number");
    EXPECT_EQ(parse_error("click \"A\" -1"), "line 1: bad row number \"-1\"");
    EXPECT_EQ(parse_error("file"), "line 1: expected a path");
    EXPECT_EQ(parse_error("cancel now"), "line 1: unexpected \"now\" at the end");
    EXPECT_EQ(parse_error("close later"), "line 1: expected \"ok\" or \"cancel\" after close, got \"later\"");
    EXPECT_EQ(parse_error("press " + std::string(60, 'x')),
              "line 1: expected a control: a quoted label or type#n, got \"" + std::string(40, 'x') +
                  "...\"");

    // A bad line leaves the script as it was.
    UiScript script;
    script.press("Keep");
    std::string error;
    EXPECT_EQ(script.append_text("press \"A\"\nbad", error), SCRIPT_BAD_LINE);
    EXPECT_EQ(error, "line 2: unknown action \"bad\"");
    EXPECT_EQ(script.actions().size(), 1u);
}

TEST(UiScriptTest, ConsumedFrontToBack) {
    UiScript script;
    EXPECT_EQ(script.peek(), nullptr);
    EXPECT_TRUE(script.finished());
    script.press("A").close();
    ASSERT_NE(script.peek(), nullptr);
    EXPECT_EQ(script.peek()->kind, UiActionKind::Press);
    script.consume();
    EXPECT_EQ(script.peek()->kind, UiActionKind::Close);
    EXPECT_EQ(script.consumed(), 1u);
    script.consume();
    script.consume();   // past the end: nothing happens
    EXPECT_TRUE(script.finished());
    EXPECT_EQ(script.consumed(), 2u);
    script.clear();
    EXPECT_EQ(script.consumed(), 0u);
    EXPECT_TRUE(script.actions().empty());
}

// Random lines built from script pieces and stray bytes: the parser either
// accepts them, and then every action's text reads back the same, or names a
// line that exists.
TEST(UiScriptTest, SurvivesAnyBytes) {
    const std::vector<std::string> pieces = {
        "set", "pick", "click", "press", "file", "cancel", "fail", "close", "ok", " ", "\t", "\"",
        "\\", "#", "float#0", "list#2", "\"A b\"", "12", "-3", "2.5", "1e9", "255", "\n", "\r", "\r\n",
        std::string(1, '\0'), "\xff", "\x80q", "x"};
    std::mt19937 random(20240613u);
    int accepted = 0;
    for (int round = 0; round < 3000; ++round) {
        std::string text;
        int count = int(random() % 12);
        for (int i = 0; i < count; ++i) {
            if (random() % 8 == 0) text.push_back(char(random() % 256));
            else text += pieces[random() % pieces.size()];
        }
        std::vector<UiAction> actions;
        std::string error;
        int rc = script_parse(text, actions, error);
        if (rc == SCRIPT_OK) {
            ++accepted;
            for (const UiAction& action : actions) {
                std::vector<UiAction> again;
                std::string again_error;
                ASSERT_EQ(script_parse(action_text(action), again, again_error), SCRIPT_OK) << again_error;
                ASSERT_EQ(again.size(), 1u);
                EXPECT_EQ(again[0], action);
            }
            continue;
        }
        ASSERT_EQ(rc, SCRIPT_BAD_LINE);
        ASSERT_EQ(error.rfind("line ", 0), 0u) << error;
        int line = std::stoi(error.substr(5));
        int lines = 1;
        for (char ch : text) lines += ch == '\n';
        EXPECT_GE(line, 1);
        EXPECT_LE(line, lines);
        EXPECT_TRUE(actions.empty());
    }
    EXPECT_GT(accepted, 0) << "the pieces should make some valid scripts";
}

}  // namespace
}  // namespace lwhost
