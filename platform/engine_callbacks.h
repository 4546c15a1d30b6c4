// The graphics engine's services that the plug-in calls back. Each is found
// by name at first use, where the platform keeps it; a service that cannot be
// found makes the call fail, as a missing font or transform does.
#pragma once

#include "platform/ddi.h"

namespace platform {

// Null when the engine does not offer the service.
PFN_FONTOBJ_pifi engineFontObjPifi();
PFN_FONTOBJ_pxoGetXform engineFontObjGetXform();
PFN_XFORMOBJ_bApplyXform engineXformObjApplyXform();
PFN_STROBJ_vEnumStart engineStrObjEnumStart();
PFN_STROBJ_bEnum engineStrObjEnum();

} // namespace platform
