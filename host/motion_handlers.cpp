#include "motion_handlers.h"

#include <cmath>
#include <cstdint>
#include <new>

#include "host.h"
#include "loader.h"
#include "motion.h"

namespace lwhost {

namespace {

// getParam and setParam carry no context: they act on the item whose handler
// is being evaluated, which is set here for the length of one evaluate call.
struct Evaluating {
    Host* host = nullptr;
    MotionHandlers* handlers = nullptr;
    ItemId item = 0;
    double time = 0.0;
};
Evaluating g_evaluating;

bool is_motion_param(int param) {
    return param == LWIP_POSITION || param == LWIP_ROTATION || param == LWIP_SCALING;
}

void access_get_param(LWItemParam param, LWTime time, LWDVector out) noexcept {
    if (!out) return;
    out[0] = out[1] = out[2] = 0.0;
    Host* host = g_evaluating.host;
    if (!host) return;
    if (!is_motion_param(param)) {
        try {
            host->note("item motion access: getParam with parameter " + std::to_string(param) +
                       " (only position, rotation, scaling)");
        } catch (...) {
        }
        return;
    }
    item_param(host->scene, g_evaluating.item, param, time, out);
}

void access_set_param(LWItemParam param, const LWDVector value) noexcept {
    if (!g_evaluating.handlers || !value) return;
    SetParamCall call;
    call.item = g_evaluating.item;
    call.param = param;
    call.time = g_evaluating.time;
    for (int i = 0; i < 3; ++i) call.value[i] = value[i];
    try {
        g_evaluating.handlers->set_param_calls.push_back(call);
    } catch (...) {
    }
}

// Pre-order walk: an item is listed before its children, roots in the order
// objects, lights, cameras; a bone without a parent comes after its object's
// tree.
void walk(const Scene& scene, ItemId id, std::vector<ItemId>& out, std::size_t depth) {
    const Item* item = scene.item(id);
    if (!item || depth > 4096) return;  // depth bound: a parent loop must not recurse forever
    out.push_back(id);
    for (ItemId child : item->children) walk(scene, child, out, depth + 1);
}

std::vector<ItemId> items_parents_first(const Scene& scene) {
    std::vector<ItemId> order;
    for (ItemType type : {ItemType::Object, ItemType::Light, ItemType::Camera})
        for (ItemId id : scene.items(type)) {
            const Item* item = scene.item(id);
            if (item && item->parent == 0) walk(scene, id, order, 0);
        }
    for (ItemId object : scene.items(ItemType::Object))
        for (ItemId bone : scene.bones_of(object)) {
            const Item* item = scene.item(bone);
            if (item && item->parent == 0) walk(scene, bone, order, 0);
        }
    return order;
}

}  // namespace

MotionHandlers::MotionHandlers(Host& host, Plugins& plugins) : host_(host), plugins_(plugins) {}

MotionHandlers::~MotionHandlers() { clear(); }

int MotionHandlers::apply(ItemId item, const std::string& server) noexcept {
    mark_changed();
    try {
        if (!host_.scene.item(item)) {
            host_.note("ApplyServer " + server + ": no such item");
            return 0;
        }
        PluginModule* module = nullptr;
        if (!plugins_.find_server(LWITEMMOTION_HCLASS, server, &module)) {
            host_.note("ApplyServer: no loaded plug-in serves ItemMotionHandler \"" + server + "\"");
            return 0;
        }
        auto record = std::make_unique<MotionHandlerInstance>();
        record->module = module;
        record->server = server;
        record->item = item;
        record->handler.inst = &record->inst_funcs;
        record->handler.item = &record->item_funcs;
        InstanceList& list = by_item_[item];
        list.reserve(list.size() + 1);  // nothing may throw once the instance exists

        int result = plugins_.activate(LWITEMMOTION_HCLASS, server, LWITEMMOTION_VERSION, &record->handler);
        if (result != AFUNC_OK) {
            host_.note("ApplyServer " + server + ": activation returned " + std::to_string(result));
            if (list.empty()) by_item_.erase(item);
            return 0;
        }
        if (!record->inst_funcs.create) {
            host_.note("ApplyServer " + server + ": the handler gave no create function");
            if (list.empty()) by_item_.erase(item);
            return 0;
        }
        LWError error = nullptr;
        // The item ID travels as the pointer-sized context, as Layout passes it.
        void* context = reinterpret_cast<void*>(static_cast<std::uintptr_t>(item));
        record->instance = record->inst_funcs.create(record->inst_funcs.priv, context, &error);
        if (error) host_.note("ApplyServer " + server + ": create reported \"" + error + "\"");
        if (!record->instance && error) {
            if (list.empty()) by_item_.erase(item);
            return 0;
        }
        list.push_back(std::move(record));
        return 1;
    } catch (const std::bad_alloc&) {
        return 0;
    }
}

void MotionHandlers::destroy(MotionHandlerInstance& instance) noexcept {
    if (instance.inst_funcs.destroy) instance.inst_funcs.destroy(instance.instance);
    instance.instance = nullptr;
}

int MotionHandlers::remove(ItemId item, const std::string& server) noexcept {
    mark_changed();
    auto found = by_item_.find(item);
    if (found != by_item_.end()) {
        InstanceList& list = found->second;
        for (auto it = list.begin(); it != list.end(); ++it) {
            if ((*it)->server != server) continue;
            std::unique_ptr<MotionHandlerInstance> gone = std::move(*it);
            list.erase(it);
            if (list.empty()) by_item_.erase(found);
            destroy(*gone);
            return 1;
        }
    }
    try {
        host_.note("RemoveServer " + server + ": the item carries no such handler");
    } catch (...) {
    }
    return 0;
}

void MotionHandlers::remove_module(const PluginModule* module) noexcept {
    mark_changed();
    for (auto entry = by_item_.begin(); entry != by_item_.end();) {
        InstanceList& list = entry->second;
        for (auto it = list.begin(); it != list.end();) {
            if ((*it)->module == module) {
                destroy(**it);
                it = list.erase(it);
            } else {
                ++it;
            }
        }
        entry = list.empty() ? by_item_.erase(entry) : std::next(entry);
    }
}

void MotionHandlers::clear() noexcept {
    mark_changed();
    for (auto& [item, list] : by_item_)
        for (auto& instance : list) destroy(*instance);
    by_item_.clear();
}

void MotionHandlers::refresh() noexcept {
    if (fresh_ && fresh_time_ == host_.scene.settings.time) return;
    evaluate_all();
}

void MotionHandlers::evaluate_all() noexcept {
    fresh_ = true;
    fresh_time_ = host_.scene.settings.time;
    if (by_item_.empty()) return;
    try {
        const Scene& scene = host_.scene;
        double time = scene.settings.time;
        LWFrame frame = LWFrame(std::lround(time * scene.settings.frames_per_second));
        for (ItemId id : items_parents_first(scene)) {
            auto found = by_item_.find(id);
            if (found == by_item_.end()) continue;
            // Index loop: the list is looked up again after each call, so a
            // handler that somehow changes the set of instances cannot leave
            // us on a dead iterator.
            for (std::size_t i = 0;; ++i) {
                auto again = by_item_.find(id);
                if (again == by_item_.end() || i >= again->second.size()) break;
                MotionHandlerInstance& instance = *again->second[i];
                if (!instance.handler.evaluate) continue;
                LWItemMotionAccess access{};
                access.item = reinterpret_cast<LWItemID>(static_cast<std::uintptr_t>(id));
                access.frame = frame;
                access.time = time;
                access.getParam = access_get_param;
                access.setParam = access_set_param;
                Evaluating saved = g_evaluating;
                g_evaluating = {&host_, this, id, time};
                instance.handler.evaluate(instance.instance, &access);
                g_evaluating = saved;
            }
        }
    } catch (...) {
        // Out of memory for the walk: this refresh evaluates nothing more.
    }
}

std::size_t MotionHandlers::count(ItemId item) const noexcept {
    auto found = by_item_.find(item);
    return found == by_item_.end() ? 0 : found->second.size();
}

std::size_t MotionHandlers::total() const noexcept {
    std::size_t sum = 0;
    for (auto& [item, list] : by_item_) sum += list.size();
    return sum;
}

const MotionHandlerInstance* MotionHandlers::instance_at(ItemId item, int index) const noexcept {
    auto found = by_item_.find(item);
    if (found == by_item_.end() || index < 1 || std::size_t(index) > found->second.size()) return nullptr;
    return found->second[std::size_t(index) - 1].get();
}

const char* MotionHandlers::server_name(ItemId item, int index) const noexcept {
    const MotionHandlerInstance* instance = instance_at(item, index);
    return instance ? instance->server.c_str() : nullptr;
}

std::string MotionHandlers::description(ItemId item, int index) const noexcept {
    const MotionHandlerInstance* instance = instance_at(item, index);
    if (!instance || !instance->inst_funcs.descln) return {};
    const char* text = instance->inst_funcs.descln(instance->instance);
    try {
        return text ? std::string(text) : std::string();
    } catch (...) {
        return {};
    }
}

}  // namespace lwhost
