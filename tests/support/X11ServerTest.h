// A test suite whose windows are real: one private Xvfb per suite with the
// toolkit's X11 back end connected to it. Each test is skipped, with the
// reason, where no such server can be had.
#pragma once
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "kiv/gui/X11Backend.h"
#include "support/XvfbServer.h"

namespace kivtest {

template <int ScreenW, int ScreenH>
class X11ServerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_server = new XvfbServer(std::to_string(ScreenW) + "x" + std::to_string(ScreenH) + "x24");
        if (!s_server->Start())
            s_skipReason = s_server->SkipReason();
        else if (!X11Backend::Instance())
            s_skipReason = "the X server does not take connections";
    }
    static void TearDownTestSuite()
    {
        if (s_server->Running())
            X11Backend::Shutdown();
        delete s_server;
        s_server = nullptr;
    }
    // Derived fixtures call this first and return when IsSkipped().
    void SetUp() override
    {
        if (!s_skipReason.empty())
            GTEST_SKIP() << s_skipReason;
        backend = X11Backend::Instance();
        XBackend::Install(nullptr);
    }
    // Pumps until done() holds (true) or kPatientMs pass (false).
    template <class Done>
    bool PumpUntil(Done done)
    {
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(kPatientMs);
        while (std::chrono::steady_clock::now() < until) {
            backend->Pump(20);
            if (done())
                return true;
        }
        return false;
    }
    // Pumps `count` times (about 20 ms each when nothing comes): time for
    // the toolkit's own timers to run, not a wait for anything.
    void PumpTimes(int count)
    {
        for (int i = 0; i < count; ++i)
            backend->Pump(20);
    }

    inline static XvfbServer* s_server = nullptr;
    inline static std::string s_skipReason;
    X11Backend* backend = nullptr;
};

}  // namespace kivtest
