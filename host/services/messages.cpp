// "Info Messages 2": every message is kept in host.messages, in order.
//
// The questions (okCancel, yesNo, yesNoCan, yesNoAll) are kept there too,
// with level Question and the title, and are answered as a user who agrees:
// OK / Yes, that is 1, 1, 2 and 3. No plug-in of ours asks a question, so
// the script has no action for them.
#include <string>

#include "../host.h"
#include "lwhost.h"
#include "services.h"

namespace lwhost {
namespace {

void keep(MessageLevel level, const char* title, const char* line1, const char* line2) noexcept {
    Host* host = Host::current();
    if (!host) return;
    try {
        Message message;
        message.level = level;
        if (title) message.title = title;
        if (line1) message.line1 = line1;
        message.has_line2 = line2 != nullptr;
        if (line2) message.line2 = line2;
        host->messages.push_back(std::move(message));
    } catch (...) {
        // out of memory: the message is lost, the plug-in goes on
    }
}

void info(const char* line1, const char* line2) { keep(MessageLevel::Info, nullptr, line1, line2); }
void error(const char* line1, const char* line2) { keep(MessageLevel::Error, nullptr, line1, line2); }
void warning(const char* line1, const char* line2) { keep(MessageLevel::Warning, nullptr, line1, line2); }

int ok_cancel(const char* title, const char* line1, const char* line2) {
    keep(MessageLevel::Question, title, line1, line2);
    return 1;   // OK
}
int yes_no(const char* title, const char* line1, const char* line2) {
    keep(MessageLevel::Question, title, line1, line2);
    return 1;   // Yes
}
int yes_no_cancel(const char* title, const char* line1, const char* line2) {
    keep(MessageLevel::Question, title, line1, line2);
    return 2;   // Yes
}
int yes_no_all(const char* title, const char* line1, const char* line2) {
    keep(MessageLevel::Question, title, line1, line2);
    return 3;   // Yes to all
}

LWMessageFuncs g_message_funcs = {info, error, warning, ok_cancel, yes_no, yes_no_cancel, yes_no_all};

}  // namespace

namespace services {
void* message_funcs(Host&) { return &g_message_funcs; }
}  // namespace services

}  // namespace lwhost
