// app/core/clsTimer.h
#pragma once
#include <cstdint>

class clsClassHandler;

class clsTimer {
public:
    explicit clsTimer(clsClassHandler& handler) : handler_(handler) {}
    // Returns after the given seconds, processing window events meanwhile; 0 returns at once.
    void Pause(int16_t seconds);

private:
    clsClassHandler& handler_;
};
