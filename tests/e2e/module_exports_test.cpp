// Every plug-in module exports its descriptor and nothing else: the host
// finds `_mod_descrip`, and no internal name can clash with another module's.
#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

std::vector<std::string> defined_dynamic_symbols(const std::string& path) {
    std::vector<std::string> names;
    std::string command = "nm -D --defined-only '" + path + "' 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return names;
    char line[512];
    while (std::fgets(line, sizeof line, pipe)) {
        std::string text(line);
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
        auto blank = text.rfind(' ');
        if (blank != std::string::npos) names.push_back(text.substr(blank + 1));
    }
    pclose(pipe);
    return names;
}

TEST(ModuleExports, EachPluginExportsOnlyItsDescriptor) {
    for (const char* plugin : {"rigwriter", "meshwriter", "motionwriter", "rigreader", "shapereader"}) {
        std::string path = std::string(LWSMD_PLUGIN_DIR) + "/" + plugin + ".so";
        EXPECT_EQ(defined_dynamic_symbols(path), std::vector<std::string>{"_mod_descrip"}) << path;
    }
}

}  // namespace
