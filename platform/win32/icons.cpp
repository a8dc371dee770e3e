#include "platform/win32/icons.h"

#include "platform/win32/machine_impl.h"

#include <charconv>

namespace win32 {

namespace {

constexpr int kStandardIconSize = 32;
const uintptr_t kProgramInstance = 0x400000;

// "#101" names the numbered resource 101.
bool numberOf(const std::string& name, WORD& id) {
    if (name.size() < 2 || name[0] != '#') return false;
    auto [end, ec] = std::from_chars(name.data() + 1, name.data() + name.size(), id);
    return ec == std::errc{} && end == name.data() + name.size();
}

const IconResource* findResource(const std::vector<IconResource>& list, LPCSTR name) {
    WORD id = 0;
    bool numbered = IS_INTRESOURCE(name);
    std::string text = numbered ? std::string() : std::string(name);
    if (numbered)
        id = static_cast<WORD>(reinterpret_cast<uintptr_t>(name));
    else if (numberOf(text, id))
        numbered = true;
    for (const IconResource& r : list) {
        if (numbered ? r.name.empty() && r.id == id : lowerCase(r.name) == lowerCase(text))
            return &r;
    }
    return nullptr;
}

std::string labelOf(const IconResource& r) {
    return r.name.empty() ? "#" + std::to_string(r.id) : r.name;
}

std::shared_ptr<IconObject> iconOf(ThreadCtx& t, HICON h) {
    auto it = t.process->handles.find(handleValue(h));
    if (it == t.process->handles.end()) return nullptr;
    return std::dynamic_pointer_cast<IconObject>(it->second);
}

} // namespace

HANDLE LoadImageA(HINSTANCE hInst, LPCSTR name, UINT uType, int cx, int cy, UINT fuLoad) {
    ThreadCtx* t = currentThread();
    if (!t) return nullptr;
    if (!name || cx < 0 || cy < 0) {
        t->lastError = ERROR_INVALID_PARAMETER;
        return nullptr;
    }
    if (handleValue(hInst) != kProgramInstance) {
        // No module besides the program; the system's own icons are not kept.
        t->lastError = hInst ? ERROR_INVALID_HANDLE : ERROR_RESOURCE_NAME_NOT_FOUND;
        return nullptr;
    }
    auto& m = *t->machine;
    std::lock_guard g(m.lock);
    auto list = m.iconResources.find(lowerCase(t->process->imagePath));
    if (uType != IMAGE_ICON || list == m.iconResources.end() || list->second.empty()) {
        t->lastError = ERROR_RESOURCE_TYPE_NOT_FOUND;
        return nullptr;
    }
    const IconResource* r = findResource(list->second, name);
    if (!r) {
        t->lastError = ERROR_RESOURCE_NAME_NOT_FOUND;
        return nullptr;
    }
    int own = r->sizes.empty() ? kStandardIconSize : r->sizes.front();
    if (fuLoad & LR_DEFAULTSIZE) own = kStandardIconSize;
    IconImage image{labelOf(*r), cx ? cx : own, cy ? cy : own};
    bool shared = (fuLoad & LR_SHARED) != 0;
    if (shared) {
        for (auto& [value, object] : t->process->handles) {
            auto icon = std::dynamic_pointer_cast<IconObject>(object);
            if (icon && icon->shared && icon->image.resource == image.resource &&
                icon->image.width == image.width && icon->image.height == image.height)
                return makeHandle(value);
        }
    }
    auto icon = std::make_shared<IconObject>();
    icon->image = image;
    icon->shared = shared;
    return m.addHandle(*t->process, std::move(icon));
}

HICON LoadIconA(HINSTANCE hInstance, LPCSTR lpIconName) {
    return LoadImageA(hInstance, lpIconName, IMAGE_ICON, 0, 0, LR_DEFAULTSIZE | LR_SHARED);
}

BOOL DestroyIcon(HICON hIcon) {
    ThreadCtx* t = currentThread();
    if (!t) return FALSE;
    auto& m = *t->machine;
    std::shared_ptr<IconObject> icon;
    {
        std::lock_guard g(m.lock);
        icon = iconOf(*t, hIcon);
        if (!icon) {
            t->lastError = ERROR_INVALID_CURSOR_HANDLE;
            return FALSE;
        }
        if (icon->shared) return TRUE; // stays until the process ends
    }
    m.finalClose(m.detachHandle(*t->process, handleValue(hIcon)));
    return TRUE;
}

HDC GetDC(HWND hWnd) {
    ThreadCtx* t = currentThread();
    if (!t) return nullptr;
    auto& m = *t->machine;
    std::lock_guard g(m.lock);
    if (!findWindow(m, hWnd)) {
        t->lastError = ERROR_INVALID_WINDOW_HANDLE;
        return nullptr;
    }
    uintptr_t value = m.nextDeviceContext;
    m.nextDeviceContext += 4;
    m.deviceContexts[value] = hWnd;
    return makeHandle(value);
}

int ReleaseDC(HWND hWnd, HDC hDC) {
    ThreadCtx* t = currentThread();
    if (!t) return 0;
    auto& m = *t->machine;
    std::lock_guard g(m.lock);
    auto it = m.deviceContexts.find(handleValue(hDC));
    if (it == m.deviceContexts.end() || it->second != hWnd) return 0;
    m.deviceContexts.erase(it);
    return 1;
}

BOOL DrawIconEx(HDC hdc, int xLeft, int yTop, HICON hIcon, int cxWidth, int cyWidth, UINT, HBRUSH,
                UINT diFlags) {
    ThreadCtx* t = currentThread();
    if (!t) return FALSE;
    auto& m = *t->machine;
    std::lock_guard g(m.lock);
    auto dc = m.deviceContexts.find(handleValue(hdc));
    Window* w = dc == m.deviceContexts.end() ? nullptr : findWindow(m, dc->second);
    if (!w) {
        t->lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    auto icon = iconOf(*t, hIcon);
    if (!icon) {
        t->lastError = ERROR_INVALID_CURSOR_HANDLE;
        return FALSE;
    }
    bool standard = (diFlags & DI_DEFAULTSIZE) != 0;
    int width = cxWidth ? cxWidth : standard ? kStandardIconSize : icon->image.width;
    int height = cyWidth ? cyWidth : standard ? kStandardIconSize : icon->image.height;
    w->drawn.push_back({hIcon, icon->image, xLeft, yTop, width, height});
    return TRUE;
}

} // namespace win32
