// app/core/Service.cpp
#include "core/Service.h"
#include "core/Console.h"
#include <cstdlib>
#include <string>

void NoServiceProvider(const char* what) {
    const std::string text = std::string("Kein Dienst eingerichtet: ") + what;
    StdErrLine(std::wstring(text.begin(), text.end()));
    std::abort();
}
