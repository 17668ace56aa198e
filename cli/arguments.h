// The command line of one job: its flags, as the panel settings they stand
// for, and its positional arguments. A flag left out keeps the panel's own
// default, so every setting here also knows whether it was given.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace lwcli {

// Bad arguments: said with a pointer to --help, exit status 2.
struct UsageError {
    std::string text;
};

// The arguments after the command word, taken one at a time.
class Arguments {
public:
    explicit Arguments(std::vector<std::string> args) : args_(std::move(args)) {}
    bool done() const { return next_ >= args_.size(); }
    std::string take() { return args_[next_++]; }
    std::string value_of(const std::string& flag);

private:
    std::vector<std::string> args_;
    std::size_t next_ = 0;
};

struct Rgb {
    int red = 0, green = 0, blue = 0;
};

struct Settings {
    std::vector<std::string> positional;
    std::string output;                      // -o
    std::string object;                      // --object
    std::string group_by;                    // --group-by: "uv", "surface", "texture"
    std::string layers;                      // --layers: "all", "foreground"
    std::string map;                         // --map (UV template)
    std::string into;                        // --into (skeleton import)
    std::string scene;                       // --scene (run)
    std::string script;                      // --script (run)
    std::string out_dir;                     // --out (demo)
    std::string examples;                    // --examples (demo)
    std::vector<std::string> sequences;      // --sequence, in order
    std::optional<double> scale;             // --scale F
    bool no_scale = false;                   // --no-scale
    bool no_verify_uv = false, no_null_bones = false, no_weights = false, calc_lengths = false;
    std::optional<int> first, last, size;    // --first, --last, --size
    std::optional<Rgb> foreground, background;   // --fg, --bg
    bool help = false;
};

// Reads the flags listed in `accepted` (any other is a usage error) and
// keeps the rest as positional arguments. Values are checked here: a
// number that is no number, a choice that is not offered, a colour that is
// not RRGGBB.
Settings parse_settings(Arguments& args, const std::vector<std::string>& accepted);

}  // namespace lwcli
