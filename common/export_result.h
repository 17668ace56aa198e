// export_result: how an exporter step, a file write or a save ended. One
// family for the three exporters and the SMD writing they share, so that a
// code means the same wherever it comes from and a caller can pass it on.
#pragma once

enum [[nodiscard]] ExportResult : int {
    EXPORT_OK = 0,
    EXPORT_NO_MEMORY = 1,        // an allocation failed
    EXPORT_FILE_NOT_OPENED = 2,  // the target was refused, or no file could be made beside it
    EXPORT_NO_SERVICE = 5,       // a required host service (or the mesh) is missing
    EXPORT_WRITE_FAILED = 6,     // a write the stream did not take in full; or a flush, close or rename failed
};
