// app/core/Service.h
#pragma once

// The one shared instance of a service class. Code below the top asks `Service<clsKeyFunc>()`;
// the class handler (the composition root) installs a provider per class at start-up and keeps
// making each instance on first request and dropping it on Reset(), unseen from here.
template <class T>
struct ServiceProvider {
    using Get = T& (*)();
    static inline Get get = nullptr;
};

// A service asked for before start-up installed its provider: a program error, reported and ended.
[[noreturn]] void NoServiceProvider(const char* what);

template <class T>
T& Service() {
    if (!ServiceProvider<T>::get) NoServiceProvider(__PRETTY_FUNCTION__);
    return ServiceProvider<T>::get();
}

template <class T>
void InstallService(typename ServiceProvider<T>::Get get) {
    ServiceProvider<T>::get = get;
}
