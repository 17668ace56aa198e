// The user stand-in: one ordered list of what the user does at the host's
// panels and file requesters, consumed front to back.
//
// A panel's `open` (panels.h) takes actions until one closes it or the list
// runs out; a panel opened from one of its events takes the following
// actions from the same list, so nested panels share one script. A file
// requester ("File Request 2") takes the next action when it is an answer,
// a cancel or a failure.
//
// Building a script in a test:
//   host.script().set("Scale geometry:", 0)
//                .set(unlabelled("FloatControl", 0), 12.5)
//                .press("Save SMD file").answer_file("/tmp/out.smd")
//                .close();
//
// The same in the text form (one action per line; blank lines and lines
// starting with '#' are skipped):
//   set "Scale geometry:" 0
//   set float#0 12.5
//   set "Foreground Color" 255 0 0
//   set "Name" "some text"
//   pick "Group Triangles by:" "Surface Name"
//   click "Invalid Geometry List" 0
//   press "Save SMD file"
//   file "/tmp/out.smd"
//   cancel
//   fail
//   close
//   close cancel
// A control is a quoted label, or type#n for the n-th (from 0) unlabelled
// control of that type in the panel; the type is a control type name
// ("FloatControl") or its short form (bool, button, popup, float, rgb, list,
// num, text, string). Inside quotes, \" and \\ stand for " and \; any other
// byte stands for itself. A number with '.', 'e' or "inf"/"nan" in it is a
// real, any other an integer; three integers are a colour.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace lwhost {

// Result codes of `script_parse`.
inline constexpr int SCRIPT_OK = 0;
inline constexpr int SCRIPT_BAD_LINE = 1;     // out_error says which line and why
inline constexpr int SCRIPT_NO_MEMORY = 2;

// Which control an action is for: by label, or (label empty) the index-th
// unlabelled control of `type` in creation order.
struct ControlRef {
    std::string label;
    std::string type;   // full type name ("FloatControl"); empty when by label
    int index = 0;

    ControlRef() = default;
    ControlRef(const char* text) : label(text ? text : "") {}
    ControlRef(std::string text) : label(std::move(text)) {}
    bool by_label() const { return type.empty(); }
    bool operator==(const ControlRef&) const = default;
};

// The n-th unlabelled control of a type. `type` may be the short form.
ControlRef unlabelled(std::string_view type, int index);

// Full control type name for a full or short name ("float" -> "FloatControl"),
// empty when unknown.
std::string control_type_name(std::string_view name);

enum class UiActionKind : int {
    Set,          // set a control's value
    Pick,         // choose a popup item by its text
    Click,        // click a list row
    Press,        // press a button
    FileAnswer,   // a file requester gets `text` as the chosen path
    FileCancel,   // a file requester is cancelled
    FileFail,     // the file requester function fails (returns non-zero)
    Close,        // close the innermost open panel, `ok` or cancelled
};

enum class UiValueKind : int { Int, Float, Text, Rgb };

struct UiAction {
    UiActionKind kind = UiActionKind::Close;
    ControlRef control;
    UiValueKind value_kind = UiValueKind::Int;
    int int_value = 0;        // Set Int; Click: the row
    double float_value = 0.0; // Set Float
    int rgb[3] = {0, 0, 0};   // Set Rgb
    std::string text;         // Set Text; Pick: item; FileAnswer: path
    bool ok = true;           // Close

    bool operator==(const UiAction&) const = default;
};

// The action in the text form, one line without the line end; parsing it
// gives the action back.
std::string action_text(const UiAction& action);

// Parses the text form and appends the actions to out_actions; on error
// nothing is appended and out_error is "line N: why". Any bytes are accepted
// as input.
int script_parse(std::string_view text, std::vector<UiAction>& out_actions,
                 std::string& out_error) noexcept;

class UiScript {
public:
    // --- building ---------------------------------------------------------
    UiScript& add(UiAction action);
    UiScript& set(const ControlRef& control, int value);
    UiScript& set(const ControlRef& control, double value);
    UiScript& set_text(const ControlRef& control, std::string value);
    UiScript& set_rgb(const ControlRef& control, int red, int green, int blue);
    UiScript& pick(const ControlRef& control, std::string item);
    UiScript& click(const ControlRef& control, int row);
    UiScript& press(const ControlRef& control);
    UiScript& answer_file(std::string path);
    UiScript& cancel_file();
    UiScript& fail_file();
    UiScript& close(bool ok = true);
    // Appends the actions of a text script; SCRIPT_OK, or an error code with
    // out_error set and nothing appended.
    int append_text(std::string_view text, std::string& out_error) noexcept;
    void clear() { actions_.clear(); next_ = 0; abandoned_ = false; }

    // A user who meets a panel that does not fit the script gives up: with
    // this set, the first action the host cannot carry out ends the script,
    // and every panel still open closes with cancel, so that the actions
    // after the miss (a Save pressed with the wrong settings) never happen.
    // Off by default: tests read every miss of a script that goes on.
    bool stop_on_miss = false;

    // --- consuming (the host) ---------------------------------------------
    // The next action, or null when the script has run out or was abandoned.
    const UiAction* peek() const {
        return !abandoned_ && next_ < actions_.size() ? &actions_[next_] : nullptr;
    }
    void consume() { if (next_ < actions_.size()) ++next_; }
    // The host could not carry out the action just taken.
    void missed() { abandoned_ = abandoned_ || stop_on_miss; }
    bool abandoned() const { return abandoned_; }

    // --- inspecting --------------------------------------------------------
    bool finished() const { return next_ >= actions_.size(); }
    std::size_t consumed() const { return next_; }
    const std::vector<UiAction>& actions() const { return actions_; }

private:
    std::vector<UiAction> actions_;
    std::size_t next_ = 0;
    bool abandoned_ = false;
};

}  // namespace lwhost
