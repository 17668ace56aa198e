#include "ui_script.h"

#include <charconv>
#include <cstring>
#include <iterator>
#include <new>
#include <system_error>

namespace lwhost {

namespace {

struct TypeName {
    const char* short_name;
    const char* full_name;
};

// Every control type the panels serve, with the short form the text script
// accepts.
constexpr TypeName kTypeNames[] = {
    {"bool", "BoolControl"},
    {"button", "ButtonControl"},
    {"popup", "CustomPopupControl"},
    {"float", "FloatControl"},
    {"rgb", "MiniRGBControl"},
    {"list", "MultiListBoxControl"},
    {"num", "NumControl"},
    {"text", "TextControl"},
    {"string", "StringControl"},
};

// --- the line cursor ----------------------------------------------------------

struct Cursor {
    const char* at;
    const char* end;
};

bool is_blank(char c) { return c == ' ' || c == '\t'; }

void skip_blanks(Cursor& c) {
    while (c.at != c.end && is_blank(*c.at)) ++c.at;
}

bool at_line_end(Cursor& c) {
    skip_blanks(c);
    return c.at == c.end;
}

// The bytes up to the next blank.
std::string_view read_word(Cursor& c) {
    skip_blanks(c);
    const char* start = c.at;
    while (c.at != c.end && !is_blank(*c.at)) ++c.at;
    return {start, std::size_t(c.at - start)};
}

// A quoted text starting at the cursor; false when the quote is not closed
// or is followed by something other than a blank.
bool read_quoted(Cursor& c, std::string& out) {
    out.clear();
    ++c.at;  // the opening quote
    while (c.at != c.end) {
        char ch = *c.at++;
        if (ch == '"') return c.at == c.end || is_blank(*c.at);
        if (ch == '\\' && c.at != c.end && (*c.at == '"' || *c.at == '\\')) ch = *c.at++;
        out.push_back(ch);
    }
    return false;
}

// A word shown inside an error message: cut short, so a line of garbage
// does not make a page of error.
std::string shown(std::string_view word) {
    constexpr std::size_t kMax = 40;
    std::string text(word.substr(0, kMax));
    if (word.size() > kMax) text += "...";
    return "\"" + text + "\"";
}

constexpr const char* kBadQuote = "unterminated quoted text, or no blank after its closing quote";

bool looks_real(std::string_view word) {
    for (char ch : word)
        if (ch == '.' || ch == 'e' || ch == 'E' || ch == 'n' || ch == 'N') return true;
    return false;  // "inf"/"nan" contain 'n'
}

bool parse_int(std::string_view word, int& out) {
    auto [next, ec] = std::from_chars(word.data(), word.data() + word.size(), out);
    return ec == std::errc{} && next == word.data() + word.size();
}

bool parse_real(std::string_view word, double& out) {
    auto [next, ec] = std::from_chars(word.data(), word.data() + word.size(), out);
    return ec == std::errc{} && next == word.data() + word.size();
}

// One line's parse: fills `action`, or returns false with `why`.
class LineParser {
public:
    LineParser(Cursor cursor, std::string& why) : c_(cursor), why_(why) {}

    bool parse(UiAction& action) {
        std::string_view verb = read_word(c_);
        if (verb == "set") return parse_set(action);
        if (verb == "pick") {
            action.kind = UiActionKind::Pick;
            return control(action.control) && text(action.text, "the item's text") && done();
        }
        if (verb == "click") {
            action.kind = UiActionKind::Click;
            return control(action.control) && row(action.int_value) && done();
        }
        if (verb == "press") {
            action.kind = UiActionKind::Press;
            return control(action.control) && done();
        }
        if (verb == "file") {
            action.kind = UiActionKind::FileAnswer;
            return text(action.text, "a path") && done();
        }
        if (verb == "cancel") {
            action.kind = UiActionKind::FileCancel;
            return done();
        }
        if (verb == "fail") {
            action.kind = UiActionKind::FileFail;
            return done();
        }
        if (verb == "close") return parse_close(action);
        return fail("unknown action " + shown(verb));
    }

private:
    bool fail(std::string why) {
        why_ = std::move(why);
        return false;
    }

    bool done() { return at_line_end(c_) || fail("unexpected " + shown(read_word(c_)) + " at the end"); }

    bool control(ControlRef& out) {
        if (at_line_end(c_)) return fail("expected a control: a quoted label or type#n");
        if (*c_.at == '"') {
            if (!read_quoted(c_, out.label)) return fail(kBadQuote);
            if (out.label.empty()) return fail("empty label: name an unlabelled control as type#n");
            return true;
        }
        std::string_view word = read_word(c_);
        std::size_t hash = word.find('#');
        if (hash == std::string_view::npos)
            return fail("expected a control: a quoted label or type#n, got " + shown(word));
        out.type = control_type_name(word.substr(0, hash));
        if (out.type.empty()) return fail("unknown control type " + shown(word.substr(0, hash)));
        if (!parse_int(word.substr(hash + 1), out.index) || out.index < 0)
            return fail("bad control number in " + shown(word));
        return true;
    }

    bool text(std::string& out, const char* what) {
        if (at_line_end(c_)) return fail(std::string("expected ") + what);
        if (*c_.at == '"') return read_quoted(c_, out) || fail(kBadQuote);
        out = std::string(read_word(c_));
        return true;
    }

    bool row(int& out) {
        std::string_view word = read_word(c_);
        if (word.empty()) return fail("expected a row number");
        if (!parse_int(word, out) || out < 0) return fail("bad row number " + shown(word));
        return true;
    }

    bool parse_set(UiAction& action) {
        action.kind = UiActionKind::Set;
        if (!control(action.control)) return false;
        if (at_line_end(c_)) return fail("expected a value");
        if (*c_.at == '"') {
            action.value_kind = UiValueKind::Text;
            return text(action.text, "a value") && done();
        }
        std::string_view words[3];
        int count = 0;
        while (count < 3 && !at_line_end(c_)) words[count++] = read_word(c_);
        if (!at_line_end(c_) || count == 2)
            return fail("expected one number, three integers or a quoted text");
        if (count == 3) {
            action.value_kind = UiValueKind::Rgb;
            for (int i = 0; i < 3; ++i)
                if (!parse_int(words[i], action.rgb[i]))
                    return fail("a colour takes three integers, got " + shown(words[i]));
            return true;
        }
        if (looks_real(words[0])) {
            action.value_kind = UiValueKind::Float;
            return parse_real(words[0], action.float_value) || fail("bad number " + shown(words[0]));
        }
        action.value_kind = UiValueKind::Int;
        return parse_int(words[0], action.int_value) || fail("bad number " + shown(words[0]));
    }

    bool parse_close(UiAction& action) {
        action.kind = UiActionKind::Close;
        std::string_view word = read_word(c_);
        if (word.empty() || word == "ok") action.ok = true;
        else if (word == "cancel") action.ok = false;
        else return fail("expected \"ok\" or \"cancel\" after close, got " + shown(word));
        return done();
    }

    Cursor c_;
    std::string& why_;
};

std::string quoted(std::string_view text) {
    std::string out = "\"";
    for (char ch : text) {
        if (ch == '"' || ch == '\\') out.push_back('\\');
        out.push_back(ch);
    }
    out.push_back('"');
    return out;
}

std::string control_text(const ControlRef& control) {
    if (control.by_label()) return quoted(control.label);
    return control.type + "#" + std::to_string(control.index);
}

std::string real_text(double value) {
    char buffer[64];
    auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    std::string text(buffer, ec == std::errc{} ? end : buffer);
    if (!looks_real(text)) text += ".0";  // keep it a real when read back
    return text;
}

}  // namespace

ControlRef unlabelled(std::string_view type, int index) {
    ControlRef ref;
    ref.type = control_type_name(type);
    if (ref.type.empty()) ref.type = std::string(type);  // unknown: the panel will say so
    ref.index = index;
    return ref;
}

std::string control_type_name(std::string_view name) {
    for (const TypeName& entry : kTypeNames)
        if (name == entry.short_name || name == entry.full_name) return entry.full_name;
    return {};
}

std::string action_text(const UiAction& action) {
    switch (action.kind) {
    case UiActionKind::Set: {
        std::string line = "set " + control_text(action.control) + " ";
        switch (action.value_kind) {
        case UiValueKind::Int: return line + std::to_string(action.int_value);
        case UiValueKind::Float: return line + real_text(action.float_value);
        case UiValueKind::Text: return line + quoted(action.text);
        case UiValueKind::Rgb:
            return line + std::to_string(action.rgb[0]) + " " + std::to_string(action.rgb[1]) + " " +
                   std::to_string(action.rgb[2]);
        }
        return line;
    }
    case UiActionKind::Pick: return "pick " + control_text(action.control) + " " + quoted(action.text);
    case UiActionKind::Click:
        return "click " + control_text(action.control) + " " + std::to_string(action.int_value);
    case UiActionKind::Press: return "press " + control_text(action.control);
    case UiActionKind::FileAnswer: return "file " + quoted(action.text);
    case UiActionKind::FileCancel: return "cancel";
    case UiActionKind::FileFail: return "fail";
    case UiActionKind::Close: return action.ok ? "close" : "close cancel";
    }
    return "?";
}

int script_parse(std::string_view text, std::vector<UiAction>& out_actions,
                 std::string& out_error) noexcept {
    try {
        std::vector<UiAction> parsed;
        const char* at = text.data();
        const char* end = at + text.size();
        int line_number = 0;
        while (at != end) {
            const char* line_end = static_cast<const char*>(std::memchr(at, '\n', std::size_t(end - at)));
            if (!line_end) line_end = end;
            Cursor line{at, line_end};
            at = line_end == end ? end : line_end + 1;
            ++line_number;
            if (line.end != line.at && line.end[-1] == '\r') --line.end;
            if (at_line_end(line) || *line.at == '#') continue;
            std::string why;
            UiAction action;
            if (!LineParser(line, why).parse(action)) {
                out_error = "line " + std::to_string(line_number) + ": " + why;
                return SCRIPT_BAD_LINE;
            }
            parsed.push_back(std::move(action));
        }
        out_actions.reserve(out_actions.size() + parsed.size());  // then the moves cannot throw
        out_actions.insert(out_actions.end(), std::make_move_iterator(parsed.begin()),
                           std::make_move_iterator(parsed.end()));
        return SCRIPT_OK;
    } catch (const std::bad_alloc&) {
        return SCRIPT_NO_MEMORY;
    }
}

UiScript& UiScript::add(UiAction action) {
    actions_.push_back(std::move(action));
    return *this;
}

UiScript& UiScript::set(const ControlRef& control, int value) {
    UiAction action;
    action.kind = UiActionKind::Set;
    action.control = control;
    action.value_kind = UiValueKind::Int;
    action.int_value = value;
    return add(std::move(action));
}

UiScript& UiScript::set(const ControlRef& control, double value) {
    UiAction action;
    action.kind = UiActionKind::Set;
    action.control = control;
    action.value_kind = UiValueKind::Float;
    action.float_value = value;
    return add(std::move(action));
}

UiScript& UiScript::set_text(const ControlRef& control, std::string value) {
    UiAction action;
    action.kind = UiActionKind::Set;
    action.control = control;
    action.value_kind = UiValueKind::Text;
    action.text = std::move(value);
    return add(std::move(action));
}

UiScript& UiScript::set_rgb(const ControlRef& control, int red, int green, int blue) {
    UiAction action;
    action.kind = UiActionKind::Set;
    action.control = control;
    action.value_kind = UiValueKind::Rgb;
    action.rgb[0] = red;
    action.rgb[1] = green;
    action.rgb[2] = blue;
    return add(std::move(action));
}

UiScript& UiScript::pick(const ControlRef& control, std::string item) {
    UiAction action;
    action.kind = UiActionKind::Pick;
    action.control = control;
    action.text = std::move(item);
    return add(std::move(action));
}

UiScript& UiScript::click(const ControlRef& control, int row) {
    UiAction action;
    action.kind = UiActionKind::Click;
    action.control = control;
    action.int_value = row;
    return add(std::move(action));
}

UiScript& UiScript::press(const ControlRef& control) {
    UiAction action;
    action.kind = UiActionKind::Press;
    action.control = control;
    return add(std::move(action));
}

UiScript& UiScript::answer_file(std::string path) {
    UiAction action;
    action.kind = UiActionKind::FileAnswer;
    action.text = std::move(path);
    return add(std::move(action));
}

UiScript& UiScript::cancel_file() {
    UiAction action;
    action.kind = UiActionKind::FileCancel;
    return add(std::move(action));
}

UiScript& UiScript::fail_file() {
    UiAction action;
    action.kind = UiActionKind::FileFail;
    return add(std::move(action));
}

UiScript& UiScript::close(bool ok) {
    UiAction action;
    action.kind = UiActionKind::Close;
    action.ok = ok;
    return add(std::move(action));
}

int UiScript::append_text(std::string_view text, std::string& out_error) noexcept {
    return script_parse(text, actions_, out_error);
}

}  // namespace lwhost
