// app/core/clsTimer.h
#pragma once
#include <cstdint>


class clsTimer {
public:
    // Returns after the given seconds, processing window events meanwhile; 0 returns at once.
    void Pause(int16_t seconds);

private:
};
