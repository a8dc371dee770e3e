#include "platform/vcl/desktop.h"

#include "platform/vcl/application.h"
#include "platform/vcl/detail/port.h"

#include <algorithm>
#include <map>

namespace vcl {

namespace {
std::mutex gDesktopsLock;
std::map<const win32::Machine*, Desktop*> gDesktops;
} // namespace

Desktop::Desktop() = default;

Desktop::~Desktop() {
    std::lock_guard<std::mutex> g(gDesktopsLock);
    for (auto it = gDesktops.begin(); it != gDesktops.end();)
        it = it->second == this ? gDesktops.erase(it) : std::next(it);
}

void Desktop::install(const win32::Machine* machine) {
    std::lock_guard<std::mutex> g(gDesktopsLock);
    gDesktops[machine] = this;
}

Desktop& Desktop::current() {
    static Desktop fallback;
    const win32::Machine* m = detail::currentMachine();
    std::lock_guard<std::mutex> g(gDesktopsLock);
    auto it = gDesktops.find(m);
    return it == gDesktops.end() ? fallback : *it->second;
}

void Desktop::addObserver(Observer* o) {
    std::lock_guard<std::mutex> g(lock_);
    observers_.push_back(o);
}

void Desktop::removeObserver(Observer* o) {
    std::lock_guard<std::mutex> g(lock_);
    observers_.erase(std::remove(observers_.begin(), observers_.end(), o), observers_.end());
}

std::vector<TApplication*> Desktop::applications() const {
    std::lock_guard<std::mutex> g(lock_);
    return apps_;
}

TApplication* Desktop::findApplication(const String& title) const {
    std::lock_guard<std::mutex> g(lock_);
    for (TApplication* a : apps_)
        if (a->Title() == title) return a;
    return nullptr;
}

void Desktop::added(TApplication* app) {
    std::lock_guard<std::mutex> g(lock_);
    apps_.push_back(app);
}

void Desktop::removed(TApplication* app) {
    std::lock_guard<std::mutex> g(lock_);
    apps_.erase(std::remove(apps_.begin(), apps_.end(), app), apps_.end());
}

} // namespace vcl
