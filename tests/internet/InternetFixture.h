// tests/internet/InternetFixture.h: what the internet tests share
#pragma once
#include "core/AppEnvironment.h"
#include "internet/UpdateCheck.h"
#include "internet/clsInternet.h"
#include "main/ClassHandler.h"
#include "registry/clsKeyFunc.h"
#include "support/Sandbox.h"
#include "support/TestHttpServer.h"
#include <gtest/gtest.h>
#include <string>
#include <vector>

// A sandboxed registry and folder, our own web server named as the program's server, version 2.10
// revision 5, and the updates that would have been started recorded instead of run.
class InternetFixture : public ::testing::Test {
protected:
    void SetUp() override {
        PrepareEnvironment(folder.Path());
        AppEnvironment.AppVersion = L"2.10";
        AppEnvironment.Revision = 5;
        ClassHandler().KeyFunc().SaveSetting(L"Optionen", L"Server", server.Base());
        clsInternet::TimeoutMs() = 4000;
        UpdateCheck::StartUpdateAction() = [this](const std::wstring& file) { started.push_back(file); };
    }
    void TearDown() override { UpdateCheck::StartUpdateAction() = nullptr; }
    clsInternet& net() { return ClassHandler().Internet(); }

    RegistrySandbox sandbox;
    TempFolder folder;
    TestHttpServer server;
    std::vector<std::wstring> started;
};
