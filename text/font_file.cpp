#include "text/font_file.h"

#include "platform/files.h"
#include "platform/memory.h"
#include "platform/threads.h"

#include <cstdint>
#include <new>

namespace {

constexpr int kPathUnits = 256;
constexpr char16_t kFontFileName[] = u"\\3\\ZIKU.UFM";

// The module's image and the lock that guards the pointer; the image itself
// is freed by whoever lets go of its last reference.
platform::SpinLock fontImageLock;
FontImage* fontImage = nullptr;

void releaseReference(FontImage* image) {
    if (image && --image->references == 0) {
        image->~FontImage();
        platform::globalFree(image);
    }
}

bool fontFilePath(WCHAR (&path)[kPathUnits]) {
    if (!platform::getPrinterDriverDirectory(path, sizeof path))
        return false;
    int length = 0;
    while (length < kPathUnits && path[length] != 0)
        ++length;
    constexpr int nameUnits = sizeof kFontFileName / sizeof(WCHAR); // with its terminator
    if (length == kPathUnits || length + nameUnits > kPathUnits)
        return false;
    for (int i = 0; i < nameUnits; ++i)
        path[length + i] = kFontFileName[i];
    return true;
}

FontImage* readImage(platform::FileHandle file) {
    const DWORD size = platform::fileSize(file);
    if (size == 0xFFFFFFFF || size > SIZE_MAX - sizeof(FontImage))
        return nullptr;
    void* block = platform::globalAllocZero(sizeof(FontImage) + size);
    if (!block)
        return nullptr;
    auto* image = new (block) FontImage{{1}, size};
    DWORD got = 0;
    if (!platform::readFile(file, const_cast<BYTE*>(image->bytes()), size, &got) || got != size) {
        releaseReference(image);
        return nullptr;
    }
    return image;
}

} // namespace

FontImage* loadFontImage() {
    WCHAR path[kPathUnits] = {};
    if (!fontFilePath(path))
        return nullptr;
    platform::FileHandle file = platform::openFileForRead(path);
    if (!file)
        return nullptr;
    FontImage* image = readImage(file);
    platform::closeFile(file);
    return image;
}

void installFontImage(FontImage* image) {
    fontImageLock.lock();
    FontImage* held = fontImage;
    fontImage = image;
    fontImageLock.unlock();
    releaseReference(held);
}

void dropFontImage() { installFontImage(nullptr); }

FontImageUse::FontImageUse() {
    fontImageLock.lock();
    if (!fontImage)
        fontImage = loadFontImage(); // a file installed later is picked up here
    image = fontImage;
    if (image)
        ++image->references;
    fontImageLock.unlock();
}

FontImageUse::~FontImageUse() { releaseReference(image); }
