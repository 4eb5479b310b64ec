#pragma once
// Guards for the GDI objects of one picture: each goes when its scope ends,
// also when a painter throws.

#include <windows.h>

namespace testpng {

// A GDI handle, released by Release when the guard goes.
template <typename Handle, typename Release>
class GdiGuard {
public:
    explicit GdiGuard(Handle handle) : handle_(handle) {}
    ~GdiGuard() {
        if (handle_)
            Release()(handle_);
    }
    GdiGuard(const GdiGuard&) = delete;
    GdiGuard& operator=(const GdiGuard&) = delete;
    Handle get() const { return handle_; }

private:
    Handle handle_;
};

struct DeleteGdiObject {
    void operator()(HGDIOBJ object) const { DeleteObject(object); }
};
struct DeleteMemoryDc {
    void operator()(HDC dc) const { DeleteDC(dc); }
};

// A pen, brush, font or bitmap.
template <typename Handle>
using GdiObject = GdiGuard<Handle, DeleteGdiObject>;
// A memory device context (CreateCompatibleDC).
using MemoryDc = GdiGuard<HDC, DeleteMemoryDc>;

// An object selected into a DC: the previous one is put back, so that the
// object can be deleted.
class SelectedObject {
public:
    SelectedObject(HDC dc, HGDIOBJ object) : dc_(dc), previous_(SelectObject(dc, object)) {}
    ~SelectedObject() { SelectObject(dc_, previous_); }
    SelectedObject(const SelectedObject&) = delete;
    SelectedObject& operator=(const SelectedObject&) = delete;

private:
    HDC dc_;
    HGDIOBJ previous_;
};

} // namespace testpng
