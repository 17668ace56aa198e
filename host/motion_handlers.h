// Item motion handler instances applied to scene items ("ApplyServer
// ItemMotionHandler <name>").
//
//   apply(item, server)   activates the loaded "ItemMotionHandler" server with
//                         version 4 and an `LWItemMotionHandler` local whose
//                         `inst` and `item` records the host allocates and
//                         keeps, then calls inst->create(priv, item ID, &err).
//                         Returns 1 when the instance was applied. An error
//                         text from create is noted; an instance returned
//                         with an error stays applied (the plug-in decides
//                         what such an instance does), a null instance with
//                         an error is not applied.
//   remove(item, server)  destroys the first instance of that server on the
//                         item.
//   evaluate_all()        at the scene's current time, calls every instance's
//                         `evaluate` with an `LWItemMotionAccess`: items are
//                         visited parents before children (a pre-order walk
//                         from the root objects, lights, cameras), instances
//                         of one item in the order they were applied.
//                         `getParam` gives the evaluated POSITION, ROTATION
//                         or SCALING of the item being evaluated (motion.h);
//                         `setParam` is recorded in set_param_calls and
//                         changes nothing, so a handler cannot alter the
//                         keyed motion.
//   refresh()             what "RefreshNow" does: evaluate_all() again only
//                         when the time moved or something may have changed
//                         since the last evaluation (mark_changed). A redraw
//                         of an unchanged frame shows what was evaluated, so
//                         handlers are not called twice for one state.
//   mark_changed()        the scene may have changed: the next refresh
//                         evaluates. Every Layout command other than
//                         "RefreshNow", and every apply/remove, marks it; code
//                         that edits host.scene directly calls it too.
//   description(item, i)  the `descln` text of the i-th instance (from 1).
//
// Instances live until removed, until their module is unloaded, or until the
// host goes; destroy is called in every case.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "lwmotion.h"
#include "scene.h"

namespace lwhost {

class Host;
class Plugins;
struct PluginModule;

struct MotionHandlerInstance {
    const PluginModule* module = nullptr;
    std::string server;
    ItemId item = 0;
    // Records handed to the plug-in; their addresses must not move.
    LWInstanceFuncs inst_funcs{};
    LWItemFuncs item_funcs{};
    LWItemMotionHandler handler{};
    LWInstance instance = nullptr;
};

// One call of an access record's setParam.
struct SetParamCall {
    ItemId item = 0;
    int param = 0;
    double value[3] = {0, 0, 0};
    double time = 0.0;
};

class MotionHandlers {
public:
    MotionHandlers(Host& host, Plugins& plugins);
    ~MotionHandlers();
    MotionHandlers(const MotionHandlers&) = delete;
    MotionHandlers& operator=(const MotionHandlers&) = delete;

    int apply(ItemId item, const std::string& server) noexcept;
    int remove(ItemId item, const std::string& server) noexcept;
    void remove_module(const PluginModule* module) noexcept;
    void clear() noexcept;

    void evaluate_all() noexcept;
    void refresh() noexcept;
    void mark_changed() noexcept { fresh_ = false; }

    std::size_t count(ItemId item) const noexcept;
    std::size_t total() const noexcept;
    // Server name of the index-th instance on the item (from 1), null past the end.
    const char* server_name(ItemId item, int index) const noexcept;
    std::string description(ItemId item, int index = 1) const noexcept;

    std::vector<SetParamCall> set_param_calls;

private:
    using InstanceList = std::vector<std::unique_ptr<MotionHandlerInstance>>;
    const MotionHandlerInstance* instance_at(ItemId item, int index) const noexcept;
    void destroy(MotionHandlerInstance& instance) noexcept;

    Host& host_;
    Plugins& plugins_;
    std::unordered_map<ItemId, InstanceList> by_item_;
    bool fresh_ = false;        // the last evaluation still shows the scene
    double fresh_time_ = 0.0;   // the time of that evaluation
};

}  // namespace lwhost
