// Modeler command texts, as a command sequence sends them through its local's
// `evaluate`. Every text goes into host.command_log (when it keeps records)
// exactly as received.
// Only the surface commands the mesh importer sends are carried out:
//
//   Surf_SetSurf <name> [<object>]   makes the surface <name> of the current
//       object current, creating it when the object has none of that name.
//       The second word names the object the way Modeler does ("Unnamed" for
//       one never saved); the host always means the current object. A name
//       holding blanks can be given in double quotes.
//   Surf_SetFloat <channel> <value>  sets a number of the current surface.
//       Only SmoothingAngle is known; its value is taken in radians, as given
//       (the importer sends 3.142 for half a turn).
#include <string>
#include <string_view>

#include "command_text.h"
#include "host.h"
#include "loader.h"

namespace lwhost {

namespace {

using namespace command_text;

struct Command {
    Host& host;
    std::string_view text;
    Cursor args;
};

int fail(Command& command, const std::string& why) {
    command.host.note("Modeler command \"" + std::string(command.text) + "\": " + why);
    return 0;
}

bool has_current_mesh(const Host& host) {
    int mesh = host.scene.current_mesh;
    return mesh >= 0 && std::size_t(mesh) < host.scene.meshes.size();
}

// Splits "<name> [<object>]": a quoted name ends at its closing quote;
// otherwise, with two words or more, the last word is the object.
bool split_surface_arguments(Cursor args, std::string_view& name, std::string_view& object) {
    skip_blanks(args);
    if (args.at != args.end && *args.at == '"') {
        const char* start = ++args.at;
        while (args.at != args.end && *args.at != '"') ++args.at;
        if (args.at == args.end) return false;
        name = std::string_view(start, std::size_t(args.at - start));
        ++args.at;
        object = rest_of_text(args);
        return true;
    }
    std::string_view all = rest_of_text(args);
    std::size_t last_blank = all.find_last_of(" \t");
    if (last_blank == std::string_view::npos) {
        name = all;
        object = {};
    } else {
        object = all.substr(last_blank + 1);
        name = all.substr(0, last_blank);
        while (!name.empty() && is_blank(name.back())) name.remove_suffix(1);
    }
    return true;
}

int surf_set_surf(Command& command) {
    std::string_view name, object;
    if (!split_surface_arguments(command.args, name, object) || name.empty())
        return fail(command, "expects a surface name");
    Host& host = command.host;
    if (!has_current_mesh(host)) return fail(command, "no current object");
    std::string surface(name);
    if (!host.scene.find_surface(host.scene.current_mesh, surface))
        host.scene.add_surface(host.scene.current_mesh, surface);
    host.current_surface = surface;
    return 1;
}

int surf_set_float(Command& command) {
    std::string_view channel = next_token(command.args);
    double value = 0.0;
    if (channel.empty() || !parse_double(next_token(command.args), value) || !at_end(command.args))
        return fail(command, "expects a channel name and a number");
    Host& host = command.host;
    Surface* surface = has_current_mesh(host) && !host.current_surface.empty()
                           ? host.scene.find_surface(host.scene.current_mesh, host.current_surface)
                           : nullptr;
    if (!surface) return fail(command, "no current surface");
    if (!same_word(channel, "SmoothingAngle")) return fail(command, "unknown channel");
    surface->smoothing_angle = value;
    return 1;
}

struct CommandEntry {
    const char* word;
    int (*run)(Command&);
};

constexpr CommandEntry kCommands[] = {
    {"Surf_SetSurf", surf_set_surf},
    {"Surf_SetFloat", surf_set_float},
};

}  // namespace

int modeler_command_code(const char* word) noexcept { return command_code(kCommands, word); }

const char* modeler_command_word(int code) noexcept { return command_word(kCommands, code); }

int Host::modeler_command(const char* text) {
    if (!text) {
        note("Modeler command: null text");
        return 0;
    }
    std::string_view whole(text);
    if (keep_records) command_log.push_back(whole);
    Cursor cursor = cursor_over(whole);
    std::string_view word = next_token(cursor);
    Command command{*this, whole, cursor};
    int code = find_command(kCommands, word);
    return code ? kCommands[code - 1].run(command) : fail(command, "unknown command");
}

}  // namespace lwhost
