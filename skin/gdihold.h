// Small scoped holders for the Win32 glue, so each exit path frees what it
// took: a GDI object, a memory DC with one object selected into it, a locked
// global block. Also the two things done with a memory DC: copying a bitmap
// to a DC and reading one pixel of it.
#pragma once
#include <windows.h>

class ScopedGdiObject {
public:
    explicit ScopedGdiObject(HGDIOBJ object = nullptr) : object(object) {}
    ~ScopedGdiObject() {
        if (object) DeleteObject(object);
    }
    ScopedGdiObject(const ScopedGdiObject&) = delete;
    ScopedGdiObject& operator=(const ScopedGdiObject&) = delete;
    HGDIOBJ Get() const { return object; }
    void Reset(HGDIOBJ replacement) {
        if (object) DeleteObject(object);
        object = replacement;
    }
    HGDIOBJ Release() {
        HGDIOBJ held = object;
        object = nullptr;
        return held;
    }

private:
    HGDIOBJ object;
};

// A memory DC compatible with `like` (the screen when null) with `selected`
// selected into it; Ok() is false when the DC could not be made or refused
// the object. The object is selected out again before the DC is deleted.
class MemoryDC {
public:
    MemoryDC(HDC like, HGDIOBJ selected)
        : dc(CreateCompatibleDC(like)), old(dc ? SelectObject(dc, selected) : nullptr) {}
    ~MemoryDC() {
        if (old) SelectObject(dc, old);
        if (dc) DeleteDC(dc);
    }
    MemoryDC(const MemoryDC&) = delete;
    MemoryDC& operator=(const MemoryDC&) = delete;
    bool Ok() const { return dc && old; }
    HDC Get() const { return dc; }

private:
    HDC dc;
    HGDIOBJ old;
};

// A GMEM_MOVEABLE block, locked for as long as the holder lives.
class LockedGlobalBlock {
public:
    explicit LockedGlobalBlock(SIZE_T size)
        : memory(GlobalAlloc(GMEM_MOVEABLE, size)), block(memory ? GlobalLock(memory) : nullptr) {}
    ~LockedGlobalBlock() {
        if (block) GlobalUnlock(memory);
        if (memory) GlobalFree(memory);
    }
    LockedGlobalBlock(const LockedGlobalBlock&) = delete;
    LockedGlobalBlock& operator=(const LockedGlobalBlock&) = delete;
    unsigned char* Get() const { return static_cast<unsigned char*>(block); }

private:
    HGLOBAL memory;
    void* block;
};

// Copies the top-left `width` x `height` of `bitmap` to (0, 0) of `target`.
inline bool BlitBitmap(HDC target, HGDIOBJ bitmap, int width, int height) {
    MemoryDC source(target, bitmap);
    return source.Ok() && BitBlt(target, 0, 0, width, height, source.Get(), 0, 0, SRCCOPY);
}

// The colour of `bitmap` at one point; CLR_INVALID outside it.
inline COLORREF SampleBitmapPixel(HGDIOBJ bitmap, int x, int y) {
    MemoryDC memory(nullptr, bitmap);
    return memory.Ok() ? GetPixel(memory.Get(), x, y) : CLR_INVALID;
}
