#include "procedure.h"

#include "boxes.h"
#include "exit_codes.h"
#include "filters.h"
#include "messages.h"
#include "names.h"
#include "probes.h"
#include "registry/filter_list.h"
#include "registry/service_start.h"
#include "system/environment.h"
#include "system/restart.h"

#include <utility>

namespace {

int Fail(const char* message, int exitCode) {
    ShowInformation(message);
    return exitCode;
}

// The list to write, read afresh after the user's answer so that changes
// other software made while the question was open are kept.
bool ReadFiltersForRepair(FilterList& entries) {
    ScopedKey classKey = OpenCdromClassKey();
    if (!classKey) return false;
    FilterValue current;
    if (!ReadFilterValue(std::move(classKey), current)) return false;
    AddFilterIfMissing(current.entries, kFilterName);
    entries = std::move(current.entries);
    return true;
}

}  // namespace

int RunCheckAndRepair() {
    // The environment gate.
    if (!IsWindows2000OrLater()) return Fail(MsgWrongWindows, kExitPreconditionFailed);
    if (!IsAdministrator()) return Fail(MsgNeedAdmin, kExitPreconditionFailed);

    // The product is installed at all.
    if (!DriverFilePresent()) return Fail(MsgDriverFileMissing, kExitPreconditionFailed);
    if (!ProductInstalled()) return Fail(MsgNotInstalled, kExitPreconditionFailed);
    const FilterService service = ProbeFilterService();
    if (service == FilterService::Missing) return Fail(MsgServiceMissing, kExitPreconditionFailed);
    const bool lateStart = service == FilterService::StartsLate;

    // Read UpperFilters.
    ScopedKey classKey = OpenCdromClassKey();
    if (!classKey) return Fail(MsgRegistryOpenFailed, kExitRegistryFailed);
    FilterValue filters;
    if (!ReadFilterValue(std::move(classKey), filters)) return Fail(MsgRegistryReadError, kExitRegistryFailed);

    // Diagnose and ask.
    const bool entryWasPresent = AddFilterIfMissing(filters.entries, kFilterName);
    if (!AskQuestion(ChooseRepairQuestion(entryWasPresent, filters.type, lateStart))) return kExitFinished;

    // Repair: the service's Start value first, then the filter list.
    FilterList repaired;
    if (!ReadFiltersForRepair(repaired)) return Fail(MsgRegistryReadError, kExitRegistryFailed);
    if (ServiceStart(kFilterName, true) != kStartWritten) return Fail(MsgRegistryOpenFailed, kExitRegistryFailed);
    switch (WriteMultiString(repaired, HKEY_LOCAL_MACHINE, kCdromClassKey, kUpperFiltersValue)) {
    case kMultiStringWritten:
        break;
    case kMultiStringNoWriteRights:
        return Fail(MsgNoWriteRights, kExitRegistryFailed);
    default:
        return Fail(MsgRepairFailed, kExitRegistryFailed);
    }

    // A refused restart leaves the system running; the repair stands either way.
    if (AskQuestion(MsgAskRestart)) RestartSystem(EWX_REBOOT);
    return kExitFinished;
}
