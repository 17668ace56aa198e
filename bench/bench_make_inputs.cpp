// Writes the large inputs of the command-line benchmark (lwhost_jobs.sh)
// into a folder: the generated character reference of the importer's
// benchmark and the skeleton reference and sequence of the skeleton
// importer's, at the sizes those benchmarks use.
#include <cstdio>
#include <string>

#include "character_smd.h"
#include "skeleton_smd.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_make_inputs FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    struct Output {
        std::string name;
        bool written;
    };
    const Output outputs[] = {
        {"character_1m.smd", bench::write_character_smd(folder + "/character_1m.smd", 1000000, 1000)},
        {"skeleton_ref.smd", bench::write_skeleton_smd(folder + "/skeleton_ref.smd", 10, 10, 1)},
        {"skeleton_seq.smd", bench::write_skeleton_smd(folder + "/skeleton_seq.smd", 10, 10, 3000)},
    };
    for (const Output& output : outputs)
        if (!output.written) {
            std::fprintf(stderr, "bench_make_inputs: cannot write %s/%s\n", folder.c_str(), output.name.c_str());
            return 1;
        }
    return 0;
}
