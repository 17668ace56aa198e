#include "host.h"

#include <cstring>
#include <utility>

#include "images.h"
#include "loader.h"
#include "panels.h"
#include "services/services.h"
#include "ui_script.h"

namespace lwhost {

namespace {
Host* g_current = nullptr;

using ServiceFactory = void* (*)(Host&);
struct NamedService {
    const char* name;
    ServiceFactory make;
};

// Every service the host serves, by the name plug-ins ask for.
constexpr NamedService kServices[] = {
    {"Info Messages 2", services::message_funcs},
    {"LWPanelServices", services::panel_funcs},
    {"File Request 2", services::file_activate},
    {"LW Item Info 3", services::item_info},
    {"LW Object Info 4", services::object_info},
    {"LW Bone Info 3", services::bone_info},
    {"LW Scene Info 3", services::scene_info},
    {"LW Interface Info 3", services::interface_info},
    {"Scene Objects 4", services::scene_objects},
    {"Surface Functions 2", services::surface_funcs},
    {"Texture Functions 2", services::texture_funcs},
    {"LW Image List 3", services::image_list},
    {"Image Utility", services::image_util},
    {"Global Render Memory", services::global_pool},
    {"Global Memory", services::global_memory},
    {"LWM: State Query 3", services::state_query},
};
}  // namespace

Host::Host()
    : script_(std::make_unique<UiScript>()),
      panels_(std::make_unique<Panels>(*this)),
      plugins_(std::make_unique<Plugins>(*this)),
      pixmaps_(std::make_unique<PixmapStore>()) {
    g_current = this;
}

Host::~Host() {
    plugins_.reset();  // shut plug-ins down while the host is still current
    panels_.reset();
    if (g_current == this) g_current = nullptr;
}

Host* Host::current() { return g_current; }

void* Host::global(const char* name, int use_mode) {
    GlobalRequest request;
    request.name = name ? name : "";
    request.use_mode = use_mode;
    void* record = nullptr;
    if (name && !withheld(request.name)) {
        for (const NamedService& service : kServices) {
            if (std::strcmp(service.name, name) == 0) {
                record = service.make(*this);
                break;
            }
        }
    }
    request.served = record != nullptr;
    global_requests.push_back(std::move(request));
    return record;
}

void* Host::global_function(const char* name, int use_mode) {
    Host* host = current();
    return host ? host->global(name, use_mode) : nullptr;
}

std::vector<std::string> Host::service_names() const {
    std::vector<std::string> names;
    for (const NamedService& service : kServices) names.emplace_back(service.name);
    return names;
}

const std::vector<PanelRecord>& Host::panel_log() const { return panels_->log(); }

}  // namespace lwhost
