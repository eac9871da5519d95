// app/main/ClassHandler.cpp
#include "main/ClassHandler.h"
#include "core/Service.h"
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
static T& Slot(std::unique_ptr<T>& slot) {
    if (!slot) slot = std::make_unique<T>();
    return *slot;
}

clsKeyFunc& clsClassHandler::KeyFunc() { return Slot(keyFunc_); }
clsError& clsClassHandler::Error() { return Slot(error_); }
clsFiles& clsClassHandler::Files() { return Slot(files_); }
clsSort& clsClassHandler::Sort() { return Slot(sort_); }
clsTimer& clsClassHandler::Timer() { return Slot(timer_); }
clsSearch& clsClassHandler::Search() { return Slot(search_); }
clsCheckKeys& clsClassHandler::CheckKeys() { return Slot(checkKeys_); }
clsLibRegister& clsClassHandler::LibRegister() { return Slot(libRegister_); }
clsAgent& clsClassHandler::Agent() { return Slot(agent_); }
clsInternet& clsClassHandler::Internet() { return Slot(internet_); }

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

void InstallServices() {
    // Providers are plain functions: the one handler is reached through ClassHandler().
    InstallService<clsKeyFunc>([]() -> clsKeyFunc& { return ClassHandler().KeyFunc(); });
    InstallService<clsError>([]() -> clsError& { return ClassHandler().Error(); });
    InstallService<clsFiles>([]() -> clsFiles& { return ClassHandler().Files(); });
    InstallService<clsSort>([]() -> clsSort& { return ClassHandler().Sort(); });
    InstallService<clsTimer>([]() -> clsTimer& { return ClassHandler().Timer(); });
    InstallService<clsSearch>([]() -> clsSearch& { return ClassHandler().Search(); });
    InstallService<clsCheckKeys>([]() -> clsCheckKeys& { return ClassHandler().CheckKeys(); });
    InstallService<clsLibRegister>([]() -> clsLibRegister& { return ClassHandler().LibRegister(); });
    InstallService<clsAgent>([]() -> clsAgent& { return ClassHandler().Agent(); });
    InstallService<clsInternet>([]() -> clsInternet& { return ClassHandler().Internet(); });
}
