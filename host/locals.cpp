// The local records handed to activations: `LWLayoutGeneric` for
// "LayoutGeneric" servers and `LWModCommand` for "CommandSequence" servers.
// Their `data` member is the Host; every callback is noexcept and turns a
// failure inside the host into the "failed" result.
//
// `lookup` and `execute` are kept minimal: `lookup` gives the code of a
// command word the host carries out (0 when unknown), and `execute` writes
// the command word and its arguments back into a command text (strings as
// they are, integers in decimal except item IDs for SelectItem and
// AddToSelection, which go in hex, reals in their shortest exact form,
// vectors as three numbers) and evaluates that text like `evaluate` does.
#include <charconv>
#include <string>

#include "host.h"
#include "loader.h"
#include "lwcmdseq.h"
#include "lwgeneric.h"
#include "mesh_edit.h"

namespace lwhost {

namespace {

void append_number(std::string& text, double value) {
    char digits[32];
    auto [end, ec] = std::to_chars(digits, digits + sizeof digits, value);
    if (ec == std::errc{}) text.append(digits, end);
}

void append_number(std::string& text, long long value, int base) {
    char digits[32];
    auto [end, ec] = std::to_chars(digits, digits + sizeof digits, value, base);
    if (ec == std::errc{}) text.append(digits, end);
}

// Writes "word arg arg ..." for execute; false for an argument it cannot write.
bool compose_command(const char* word, int argc, const DynaValue* argv, std::string& text) {
    text = word;
    if (argc > 0 && !argv) return false;
    std::string_view name(word);
    int int_base = (name == "SelectItem" || name == "AddToSelection") ? 16 : 10;
    for (int i = 0; i < argc; ++i) {
        const DynaValue& value = argv[i];
        switch (value.type) {
        case DY_NULL:
            continue;
        case DY_STRING:
        case DY_SURFACE:
        case DY_TEXT:
        case DY_FONT:
            text += ' ';
            if (value.str.buf) text += value.str.buf;
            break;
        case DY_INTEGER:
        case DY_BOOLEAN:
        case DY_CHOICE:
        case DY_LAYERS:
            text += ' ';
            append_number(text, int_base == 16 ? (long long)(unsigned)value.intv.value : value.intv.value, int_base);
            break;
        case DY_FLOAT:
        case DY_DISTANCE:
            text += ' ';
            append_number(text, value.flt.value);
            break;
        case DY_VINT:
            for (int k = 0; k < 3; ++k) {
                text += ' ';
                append_number(text, value.ivec.val[k], 10);
            }
            break;
        case DY_VFLOAT:
        case DY_VDIST:
            for (int k = 0; k < 3; ++k) {
                text += ' ';
                append_number(text, value.fvec.val[k]);
            }
            break;
        default:
            return false;
        }
    }
    return true;
}

Host* host_of(void* data) { return static_cast<Host*>(data); }

// --- LWLayoutGeneric ------------------------------------------------------

int generic_save_scene(const char* file) noexcept {
    if (Host* host = Host::current()) {
        try {
            host->note(std::string("saveScene \"") + (file ? file : "") + "\": scene files are not written yet");
        } catch (...) {
        }
    }
    return 0;
}

int generic_load_scene(const char* file, const char* name) noexcept {
    (void)name;
    if (Host* host = Host::current()) {
        try {
            host->note(std::string("loadScene \"") + (file ? file : "") + "\": scene files are not read yet");
        } catch (...) {
        }
    }
    return 0;
}

LWCommandCode generic_lookup(void* data, const char* name) noexcept {
    return data ? layout_command_code(name) : 0;
}

int generic_execute(void* data, LWCommandCode code, int argc, const DynaValue* argv, DynaValue* result) noexcept {
    if (result) result->type = DY_NULL;
    const char* word = layout_command_word(code);
    if (!data || !word) return 0;
    try {
        std::string text;
        if (!compose_command(word, argc, argv, text)) return 0;
        return host_of(data)->layout_command(text.c_str());
    } catch (...) {
        return 0;
    }
}

int generic_evaluate(void* data, const char* command) noexcept {
    if (!data) return 0;
    try {
        return host_of(data)->layout_command(command);
    } catch (...) {
        return 0;
    }
}

// --- LWModCommand -----------------------------------------------------------

LWCommandCode command_lookup(void* data, const char* name) noexcept {
    return data ? modeler_command_code(name) : 0;
}

int command_execute(void* data, LWCommandCode code, int argc, const DynaValue* argv, EltOpSelect sel,
                    DynaValue* result) noexcept {
    (void)sel;  // the surface commands act on no element selection
    if (result) result->type = DY_NULL;
    const char* word = modeler_command_word(code);
    if (!data || !word) return CSERR_OPFAILURE;
    try {
        std::string text;
        if (!compose_command(word, argc, argv, text)) return CSERR_ARGTYPE;
        return host_of(data)->modeler_command(text.c_str()) ? CSERR_NONE : CSERR_OPFAILURE;
    } catch (...) {
        return CSERR_MEMORY;
    }
}

// MeshEditBegin carries no context; the edit is over the current host's scene.
MeshEditOp* command_edit_begin(int point_buffer, int polygon_buffer, EltOpSelect select) noexcept {
    Host* host = Host::current();
    if (!host) return nullptr;
    try {
        return begin_mesh_edit(*host, point_buffer, polygon_buffer, select);
    } catch (...) {
        return nullptr;
    }
}

int command_evaluate(void* data, const char* command) noexcept {
    if (!data) return 0;
    try {
        return host_of(data)->modeler_command(command);
    } catch (...) {
        return 0;
    }
}

}  // namespace

int Host::run_generic(const std::string& server, int version) {
    if (!plugins_->find_server(LWLAYOUTGENERIC_CLASS, server)) {
        note("run_generic: no loaded plug-in serves LayoutGeneric \"" + server + "\"");
        return -1;
    }
    LWLayoutGeneric local{};
    local.saveScene = generic_save_scene;
    local.loadScene = generic_load_scene;
    local.data = this;
    local.lookup = generic_lookup;
    local.execute = generic_execute;
    local.evaluate = generic_evaluate;
    return plugins_->activate(LWLAYOUTGENERIC_CLASS, server, version, &local);
}

int Host::run_command(const std::string& server, int version, const char* argument) {
    if (!plugins_->find_server(LWMODCOMMAND_CLASS, server)) {
        note("run_command: no loaded plug-in serves CommandSequence \"" + server + "\"");
        return -1;
    }
    LWModCommand local{};
    local.data = this;
    local.argument = argument ? argument : "";
    local.lookup = command_lookup;
    local.execute = command_execute;
    local.editBegin = command_edit_begin;
    local.evaluate = command_evaluate;
    return plugins_->activate(LWMODCOMMAND_CLASS, server, version, &local);
}

}  // namespace lwhost
