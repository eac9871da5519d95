// app/main/ClassHandler.cpp
#include "main/ClassHandler.h"
#include "assistant/clsAgent.h"
#include "core/clsSort.h"
#include "core/clsTimer.h"
#include "errors/clsError.h"
#include "internet/clsInternet.h"
#include "registry/clsKeyFunc.h"
#include "registry/clsSearch.h"
#include "scan/clsCheckKeys.h"
#include "files/clsFiles.h"
#include "components/clsLibRegister.h"

clsClassHandler::clsClassHandler() = default;
clsClassHandler::~clsClassHandler() { Reset(); }

template <class T>
static T& Slot(std::unique_ptr<T>& slot, clsClassHandler& h) {
    if (!slot) {
        if constexpr (std::is_constructible_v<T, clsClassHandler&>) slot = std::make_unique<T>(h);
        else slot = std::make_unique<T>();
    }
    return *slot;
}

clsKeyFunc& clsClassHandler::KeyFunc() { return Slot(keyFunc_, *this); }
clsError& clsClassHandler::Error() { return Slot(error_, *this); }
clsFiles& clsClassHandler::Files() { return Slot(files_, *this); }
clsSort& clsClassHandler::Sort() { return Slot(sort_, *this); }
clsTimer& clsClassHandler::Timer() { return Slot(timer_, *this); }
clsSearch& clsClassHandler::Search() { return Slot(search_, *this); }
clsCheckKeys& clsClassHandler::CheckKeys() { return Slot(checkKeys_, *this); }
clsLibRegister& clsClassHandler::LibRegister() { return Slot(libRegister_, *this); }
clsAgent& clsClassHandler::Agent() { return Slot(agent_, *this); }
clsInternet& clsClassHandler::Internet() { return Slot(internet_, *this); }

void clsClassHandler::Reset() {
    // The order in which the slots are emptied when the handler goes away.
    agent_.reset();
    error_.reset();
    sort_.reset();
    timer_.reset();
    keyFunc_.reset();
    files_.reset();
    checkKeys_.reset();
    search_.reset();
    libRegister_.reset();
    internet_.reset();
}

clsClassHandler& ClassHandler() {
    static clsClassHandler handler;
    return handler;
}
