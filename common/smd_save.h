// smd_save: the "Save SMD file" button both mesh exporters have: a save
// requester that proposes the object's name with "lwo" made "smd", then a
// safe save (safe_file) of what the exporter's writer writes, with the
// exporters' two messages for a failure.
//
//   smd_save_requested(job)
//       Does nothing when "File Request 2" is missing. Otherwise calls
//       job.take_settings(job.data) (the panel's scale, read before the
//       requester opens so that a cancelled save still takes it), proposes
//       job.object_name through smd_default_name(job.name_rule) unless that
//       could cut "smd" off at the buffer's end, and runs the requester; a
//       cancel ends there. Then save_export_file(name, job.write, job.data):
//       EXPORT_FILE_NOT_OPENED shows "Unable to save file!", any other
//       failure "Error saving SMD file!". The requester's buffers live as
//       long as the plug-in, so the folder chosen last is offered again.
#pragma once

#include <lwhost.h>
#include <lwserver.h>

#include "export_names.h"
#include "safe_file.h"

struct SmdSaveJob {
    GlobalFunc* global;
    const LWMessageFuncs* messages;
    const char* object_name;  // the file name to propose a name from; null: none
    SmdNameRule name_rule;
    void (*take_settings)(void* data) noexcept;
    ExportWriter write;
    void* data;  // the exporter's state, handed to both callbacks
};

void smd_save_requested(const SmdSaveJob& job) noexcept;
