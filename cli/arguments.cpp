#include "arguments.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace lwcli {

namespace {

double parse_real(const std::string& flag, const std::string& text) {
    double value = 0;
    const char* end = text.data() + text.size();
    auto [next, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc{} || next != end || !std::isfinite(value))
        throw UsageError{flag + " needs a number, not \"" + text + "\""};
    return value;
}

int parse_int(const std::string& flag, const std::string& text) {
    int value = 0;
    const char* end = text.data() + text.size();
    auto [next, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc{} || next != end)
        throw UsageError{flag + " needs a whole number, not \"" + text + "\""};
    return value;
}

Rgb parse_rgb(const std::string& flag, const std::string& text) {
    std::string digits = text.size() == 7 && text[0] == '#' ? text.substr(1) : text;
    unsigned value = 0;
    const char* end = digits.data() + digits.size();
    auto [next, error] = std::from_chars(digits.data(), end, value, 16);
    if (digits.size() != 6 || error != std::errc{} || next != end)
        throw UsageError{flag + " needs a colour as RRGGBB (hexadecimal), not \"" + text + "\""};
    return Rgb{int(value >> 16 & 0xff), int(value >> 8 & 0xff), int(value & 0xff)};
}

std::string choice(const std::string& flag, const std::string& value, const std::vector<std::string>& offered) {
    if (std::find(offered.begin(), offered.end(), value) != offered.end()) return value;
    std::string list;
    for (std::size_t i = 0; i < offered.size(); ++i)
        list += (i == 0 ? "" : i + 1 == offered.size() ? " or " : ", ") + offered[i];
    throw UsageError{flag + " takes " + list + ", not \"" + value + "\""};
}

}  // namespace

std::string Arguments::value_of(const std::string& flag) {
    if (done()) throw UsageError{flag + " needs a value"};
    return take();
}

Settings parse_settings(Arguments& args, const std::vector<std::string>& accepted) {
    Settings s;
    while (!args.done()) {
        const std::string arg = args.take();
        if (arg == "--help" || arg == "-h") {
            s.help = true;
            continue;
        }
        if (arg.size() < 2 || arg[0] != '-') {
            s.positional.push_back(arg);
            continue;
        }
        if (std::find(accepted.begin(), accepted.end(), arg) == accepted.end())
            throw UsageError{"unknown option " + arg};
        if (arg == "-o") s.output = args.value_of(arg);
        else if (arg == "--object") s.object = args.value_of(arg);
        else if (arg == "--group-by") s.group_by = choice(arg, args.value_of(arg), {"uv", "surface", "texture"});
        else if (arg == "--layers") s.layers = choice(arg, args.value_of(arg), {"all", "foreground"});
        else if (arg == "--map") s.map = args.value_of(arg);
        else if (arg == "--into") s.into = args.value_of(arg);
        else if (arg == "--scene") s.scene = args.value_of(arg);
        else if (arg == "--script") s.script = args.value_of(arg);
        else if (arg == "--out") s.out_dir = args.value_of(arg);
        else if (arg == "--examples") s.examples = args.value_of(arg);
        else if (arg == "--sequence") s.sequences.push_back(args.value_of(arg));
        else if (arg == "--scale") s.scale = parse_real(arg, args.value_of(arg));
        else if (arg == "--no-scale") s.no_scale = true;
        else if (arg == "--no-verify-uv") s.no_verify_uv = true;
        else if (arg == "--no-null-bones") s.no_null_bones = true;
        else if (arg == "--no-weights") s.no_weights = true;
        else if (arg == "--calc-lengths") s.calc_lengths = true;
        else if (arg == "--first") s.first = parse_int(arg, args.value_of(arg));
        else if (arg == "--last") s.last = parse_int(arg, args.value_of(arg));
        else if (arg == "--size") s.size = parse_int(arg, args.value_of(arg));
        else if (arg == "--fg") s.foreground = parse_rgb(arg, args.value_of(arg));
        else if (arg == "--bg") s.background = parse_rgb(arg, args.value_of(arg));
    }
    if (s.scale && s.no_scale) throw UsageError{"--scale and --no-scale do not go together"};
    if (s.size && *s.size < 1) throw UsageError{"--size needs a size of at least 1 pixel"};
    if (s.first && s.last && *s.last < *s.first)
        throw UsageError{"--last " + std::to_string(*s.last) + " comes before --first " + std::to_string(*s.first)};
    return s;
}

}  // namespace lwcli
