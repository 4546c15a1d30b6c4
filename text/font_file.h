// The font metrics file of the printer-resident font, kept in memory as one
// module-wide image shared by every device.
#pragma once

#include "platform/win_types.h"

#include <atomic>

// One loaded copy of the file, in a single global memory block: this record,
// then the file's bytes. Devices that read it hold a reference, so a device
// disabled on another thread can never free it under a reader.
struct FontImage {
    std::atomic<LONG> references;
    DWORD size;
    const BYTE* bytes() const { return reinterpret_cast<const BYTE*>(this + 1); }
};

// Reads "\3\ZIKU.UFM" below the printer driver directory into a new image
// holding one reference; null when any step fails.
FontImage* loadFontImage();

// EnablePDEV: the new image (or null) takes the place of the one held.
void installFontImage(FontImage* image);
// DisablePDEV: lets go of the image held, whatever other devices exist.
void dropFontImage();

// A reader's reference to the module's image, loading the file when none is
// held. Empty when there is no image.
class FontImageUse {
  public:
    FontImageUse();
    ~FontImageUse();
    FontImageUse(const FontImageUse&) = delete;
    FontImageUse& operator=(const FontImageUse&) = delete;

    const FontImage* get() const { return image; }

  private:
    FontImage* image;
};
