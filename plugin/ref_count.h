// Reference counting shared by the class factory and the plug-in object:
// both keep m_cRef as their first data member and change it atomically.
#pragma once

#include "platform/win_types.h"

#include <atomic>

inline ULONG sharedAddRef(std::atomic<LONG>& cRef) { return static_cast<ULONG>(++cRef); }

// Returns the count after the decrement; 0 tells the caller to destroy.
inline ULONG sharedRelease(std::atomic<LONG>& cRef) { return static_cast<ULONG>(--cRef); }
