// Unidrv's own implementation of the ten calls the plug-in passes on. They
// record each call on the device and write nothing, so the spool stream holds
// only the plug-in's bytes.
#pragma once

#include "platform/unidrv.h"

namespace standin {

// The table EnablePDEV receives: all ten functions, as Unidrv lists them.
const DRVENABLEDATA& unidrvHookTable();

} // namespace standin
