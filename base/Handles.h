// Owners for kernel handles and GDI objects, so every path releases them.
#pragma once

#include <windows.h>

#include <utility>

// The owner of one kind of handle. The kind says what its invalid value is
// and how it is let go of: `Type`, `Invalid()` and `Close(Type)`.
template <typename Kind>
class Unique {
public:
    using Type = typename Kind::Type;

    Unique() = default;
    explicit Unique(Type handle) : handle_(handle) {}
    Unique(Unique&& other) noexcept : handle_(std::exchange(other.handle_, Kind::Invalid())) {}
    Unique& operator=(Unique&& other) noexcept {
        if (this != &other) Reset(std::exchange(other.handle_, Kind::Invalid()));
        return *this;
    }
    Unique(const Unique&) = delete;
    Unique& operator=(const Unique&) = delete;
    ~Unique() { Reset(); }

    Type Get() const { return handle_; }
    explicit operator bool() const { return handle_ != Kind::Invalid(); }
    void Reset(Type handle = Kind::Invalid()) {
        if (*this) Kind::Close(handle_);
        handle_ = handle;
    }

private:
    Type handle_ = Kind::Invalid();
};

// Events, threads, mutexes, tokens: null when there is none.
struct KernelObjectKind {
    using Type = HANDLE;
    static Type Invalid() { return nullptr; }
    static void Close(Type handle) { CloseHandle(handle); }
};
// What CreateFileW opens: INVALID_HANDLE_VALUE when it failed.
struct FileKind {
    using Type = HANDLE;
    static Type Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close(Type handle) { CloseHandle(handle); }
};
// A thread-pool wait (RegisterWaitForSingleObject): letting go of it waits
// until its callback, if it runs, has returned.
struct PoolWaitKind {
    using Type = HANDLE;
    static Type Invalid() { return nullptr; }
    static void Close(Type wait) { UnregisterWaitEx(wait, INVALID_HANDLE_VALUE); }
};
// RegisterDeviceNotificationW.
struct DeviceNotificationKind {
    using Type = HDEVNOTIFY;
    static Type Invalid() { return nullptr; }
    static void Close(Type notification) { UnregisterDeviceNotification(notification); }
};

using UniqueHandle = Unique<KernelObjectKind>;
using UniqueFile = Unique<FileKind>;
using UniqueWait = Unique<PoolWaitKind>;
using UniqueDeviceNotification = Unique<DeviceNotificationKind>;

// A GDI object (brush, pen, bitmap, font) deleted when it goes out of scope.
template <typename T>
class GdiObject {
public:
    explicit GdiObject(T object) : object_(object) {}
    GdiObject(const GdiObject&) = delete;
    GdiObject& operator=(const GdiObject&) = delete;
    ~GdiObject() {
        if (object_) DeleteObject(object_);
    }
    T Get() const { return object_; }

private:
    T object_;
};

// A window's device context, released when it goes out of scope.
class WindowDC {
public:
    explicit WindowDC(HWND window) : window_(window), dc_(GetDC(window)) {}
    WindowDC(const WindowDC&) = delete;
    WindowDC& operator=(const WindowDC&) = delete;
    ~WindowDC() {
        if (dc_) ReleaseDC(window_, dc_);
    }
    HDC Get() const { return dc_; }

private:
    HWND window_;
    HDC dc_;
};

// BeginPaint / EndPaint around a paint handler.
class PaintDC {
public:
    explicit PaintDC(HWND window) : window_(window), dc_(BeginPaint(window, &paint_)) {}
    PaintDC(const PaintDC&) = delete;
    PaintDC& operator=(const PaintDC&) = delete;
    ~PaintDC() { EndPaint(window_, &paint_); }
    HDC Get() const { return dc_; }
    const RECT& Area() const { return paint_.rcPaint; }

private:
    HWND window_;
    PAINTSTRUCT paint_{};
    HDC dc_;
};

// An off-screen bitmap of the given size with a device context drawing into
// it: painting happens there first and reaches the screen in one copy, so the
// scope never flickers through a blank background.
class MemoryCanvas {
public:
    MemoryCanvas(HDC screen, int width, int height)
        : dc_(CreateCompatibleDC(screen)), bitmap_(CreateCompatibleBitmap(screen, width, height)) {
        if (dc_ && bitmap_) previous_ = SelectObject(dc_, bitmap_);
    }
    MemoryCanvas(const MemoryCanvas&) = delete;
    MemoryCanvas& operator=(const MemoryCanvas&) = delete;
    ~MemoryCanvas() {
        if (previous_) SelectObject(dc_, previous_);
        if (bitmap_) DeleteObject(bitmap_);
        if (dc_) DeleteDC(dc_);
    }
    bool Ready() const { return previous_ != nullptr; }
    HDC Get() const { return dc_; }

private:
    HDC dc_;
    HBITMAP bitmap_;
    HGDIOBJ previous_ = nullptr;
};
