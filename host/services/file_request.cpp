// "File Request 2": the file requester, answered from the host's script.
//
// Every call is kept in host.file_requests with what the plug-in filled in.
// The answer is the script's next action:
//   file <path>  result 1, returns 0; fullName = the path, path = its folder
//                (the text before the last '/'; "/" for a file in the root;
//                empty when there is no '/'), baseName = the rest. A path
//                that does not fit bufLen with its terminating zero is not
//                cut (a cut path names another file): the request is
//                cancelled instead, with a diagnostic.
//   cancel       result 0, returns 0.
//   fail         returns AFUNC_BADAPP (4) and leaves the record alone, so
//                only the return value tells the plug-in that the request
//                failed (a static record may still hold result 1 from the
//                previous request).
//   anything else, or no action left: result 0 (cancelled), returns 0, a
//                diagnostic, and the action stays for whoever comes next.
// Version other than 3: AFUNC_BADVERSION (1), nothing read. A null record,
// null buffers or a bufLen below 1: AFUNC_BADLOCAL (3), nothing answered.
#include <algorithm>
#include <cstring>
#include <string>

#include "../host.h"
#include "../ui_script.h"
#include "lwhost.h"
#include "lwserver.h"
#include "services.h"

namespace lwhost {
namespace {

// A plug-in's buffer, read no further than its declared length.
std::string bounded(const char* buffer, int length) {
    if (!buffer || length <= 0) return {};
    const void* zero = std::memchr(buffer, '\0', std::size_t(length));
    std::size_t size = zero ? std::size_t(static_cast<const char*>(zero) - buffer) : std::size_t(length);
    return std::string(buffer, size);
}

void copy_text(char* buffer, const std::string& text) {
    std::memcpy(buffer, text.c_str(), text.size() + 1);
}

// Writes the chosen path into the record; false when it does not fit.
bool answer(LWFileReqLocal& local, const std::string& full_name) {
    if (full_name.size() + 1 > std::size_t(local.bufLen)) return false;
    std::size_t slash = full_name.rfind('/');
    std::string folder, name = full_name;
    if (slash != std::string::npos) {
        folder = slash == 0 ? std::string("/") : full_name.substr(0, slash);
        name = full_name.substr(slash + 1);
    }
    copy_text(local.fullName, full_name);
    copy_text(local.path, folder);
    copy_text(local.baseName, name);
    local.result = 1;
    return true;
}

int request(Host& host, FileRequestRecord& record, int version, LWFileReqLocal* local) {
    record.version = version;
    if (version != LWFILEREQ_VERSION) return AFUNC_BADVERSION;
    if (!local) {
        host.note("file request: null record");
        return AFUNC_BADLOCAL;
    }
    record.type = local->reqType;
    record.title = local->title ? local->title : "";
    record.file_type = local->fileType ? local->fileType : "";
    record.buffer_length = local->bufLen;
    record.path_in = bounded(local->path, local->bufLen);
    record.base_name_in = bounded(local->baseName, local->bufLen);
    if (!local->path || !local->baseName || !local->fullName || local->bufLen <= 0) {
        host.note("file request \"" + record.title + "\": missing buffers or bufLen " +
                  std::to_string(local->bufLen));
        return AFUNC_BADLOCAL;
    }

    UiScript& script = host.script();
    const UiAction* next = script.peek();
    UiActionKind kind = next ? next->kind : UiActionKind::Close;
    if (next && kind == UiActionKind::FileAnswer) {
        std::string path = next->text;
        script.consume();
        if (answer(*local, path)) {
            record.full_name = path;
        } else {
            host.note("file request \"" + record.title + "\": answer of " + std::to_string(path.size()) +
                      " bytes does not fit bufLen " + std::to_string(local->bufLen) + "; cancelled");
            script.missed();
            local->result = 0;
        }
    } else if (next && kind == UiActionKind::FileCancel) {
        script.consume();
        local->result = 0;
    } else if (next && kind == UiActionKind::FileFail) {
        script.consume();
        record.result = local->result;
        return AFUNC_BADAPP;
    } else if (script.abandoned()) {
        local->result = 0;   // the user gave up at a panel before this request
    } else {
        script.missed();
        host.note("file request \"" + record.title + "\": the script has no answer (" +
                  (next ? "next: " + action_text(*next) : std::string("it ran out")) + "); cancelled");
        local->result = 0;
    }
    record.result = local->result;
    return AFUNC_OK;
}

int file_request(int version, LWFileReqLocal* local) {
    Host* host = Host::current();
    if (!host) return AFUNC_BADAPP;
    try {
        FileRequestRecord record;
        record.returned = request(*host, record, version, local);
        host->file_requests.push_back(record);
        return record.returned;
    } catch (...) {
        return AFUNC_BADAPP;   // out of memory
    }
}

}  // namespace

namespace services {
void* file_activate(Host&) { return reinterpret_cast<void*>(&file_request); }
}  // namespace services

}  // namespace lwhost
