#pragma once

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <typeinfo>
#include <utility>

namespace platform {

// A platform service chosen once at start-up: the backend installs its
// implementation, the system's code asks for `shared()`. Tests install the
// headless implementation of each service they use.
template <class T>
class Service {
public:
    static T& shared() {
        T* s = instance().load();
        if (!s) {
            std::fprintf(stderr, "Tarnwick: platform service %s is not installed\n", typeid(T).name());
            std::abort();
        }
        return *s;
    }
    static bool isInstalled() { return instance().load() != nullptr; }
    // The caller keeps ownership; nullptr uninstalls.
    static void install(T* service) { instance().store(service); }

private:
    static std::atomic<T*>& instance() {
        static std::atomic<T*> s{nullptr};
        return s;
    }
};

// Makes a backend's implementation of a service and installs it; the
// backend keeps what this answers for as long as the service is installed.
template <class ServiceType, class Implementation, class... Arguments>
std::unique_ptr<Implementation> makeInstalled(Arguments&&... arguments) {
    auto implementation = std::make_unique<Implementation>(std::forward<Arguments>(arguments)...);
    ServiceType::install(implementation.get());
    return implementation;
}

}  // namespace platform
