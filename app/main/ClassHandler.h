// app/main/ClassHandler.h
#pragma once
#include <memory>

class clsKeyFunc;
class clsError;
class clsFiles;
class clsSort;
class clsTimer;
class clsSearch;
class clsCheckKeys;
class clsLibRegister;
class clsAgent;
class clsInternet;

// The composition root of the services: creates the one shared instance of each service class on
// first request and hands it out; code below the top reaches it only through Service<T>().
class clsClassHandler {
public:
    clsClassHandler();
    ~clsClassHandler();
    clsClassHandler(const clsClassHandler&) = delete;
    clsClassHandler& operator=(const clsClassHandler&) = delete;

    clsKeyFunc& KeyFunc();
    clsError& Error();
    clsFiles& Files();
    clsSort& Sort();
    clsTimer& Timer();
    clsSearch& Search();
    clsCheckKeys& CheckKeys();
    clsLibRegister& LibRegister();
    clsAgent& Agent();
    clsInternet& Internet();

    // Empties every slot (the next request creates a fresh instance).
    void Reset();

private:
    std::unique_ptr<clsError> error_;
    std::unique_ptr<clsSort> sort_;
    std::unique_ptr<clsTimer> timer_;
    std::unique_ptr<clsKeyFunc> keyFunc_;
    std::unique_ptr<clsFiles> files_;
    std::unique_ptr<clsSearch> search_;
    std::unique_ptr<clsCheckKeys> checkKeys_;
    std::unique_ptr<clsLibRegister> libRegister_;
    std::unique_ptr<clsAgent> agent_;
    std::unique_ptr<clsInternet> internet_;
};

// The program's one class handler, created by Main.
clsClassHandler& ClassHandler();
// Makes Service<T>() (core/Service.h) answer with this class handler's instances: start-up, the
// console scan and the test programs install it before anything asks for a service.
void InstallServices();
