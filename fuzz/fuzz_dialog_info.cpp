// Dialog information reader: any input is read or refused without a fault, and every dialog
// stored is complete.
#include <cstddef>
#include <cstdint>

#include "FuzzCheck.h"
#include "presence/XMLDialogInfo.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 65536) return 0;
    XMLDialogInfo info;
    info.parse(reinterpret_cast<const char*>(data), static_cast<int>(size));
    for (const auto& [id, dialog] : info.dialogs) {
        if (id != dialog.id || dialog.callId.empty() || dialog.localTag.empty() || dialog.remoteTag.empty() ||
            dialog.direction.empty() || dialog.state.empty()) {
            tessaly_fuzz::reparseFailed("dialog_info", id, "an incomplete dialog was stored");
        }
    }
    return 0;
}
