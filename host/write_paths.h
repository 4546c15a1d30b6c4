// The ways a Unidrv may offer the plug-in to write the spool stream.
#pragma once

namespace standin {

// What this Unidrv gives the plug-in to write with: the service table in
// each DEVOBJ, which Unidrvs that follow the COM interfaces alone may leave
// empty, and the driver services interface it publishes.
struct WritePaths {
    enum class ServiceTable { kFilled, kEmptyWriteEntry, kAbsent };
    ServiceTable serviceTable = ServiceTable::kFilled;
    bool driverServices = true;
};

// The way a write came in.
enum SpoolRoute { kThroughServiceTable, kThroughDriverServices, kSpoolRouteCount };

} // namespace standin
