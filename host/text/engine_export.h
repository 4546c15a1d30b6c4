// Marks the engine services the stand-in's programs export under their
// Windows names, where the plug-in looks for them as it looks in gdi32.
#pragma once

#include "platform/win_types.h"

#if defined(_WIN32)
#define ENGINE_EXPORT extern "C" __declspec(dllexport)
#else
#define ENGINE_EXPORT extern "C" __attribute__((visibility("default")))
#endif
