// app/core/modReboot.h
#pragma once

// Restarts the computer: shutdown privilege first on NT-family systems, then a restart that
// closes only programs that do not respond (others may still ask to save their work).
// Returns false when the system refused.
bool RebootSystem();
