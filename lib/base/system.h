// Small system services: temporary files, clock, CPU features, fatal errors.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zq::base {

// Creates a new empty file, exclusively, in the temporary directory with the prefix "tmp" and
// writes its absolute path into path (at least 260 bytes; may be null). Returns an open file
// descriptor for writing, or 0 on any failure.
intptr_t CreateTempFile(char* path, size_t pathSize = 260);

// Monotonic milliseconds, unsigned 32-bit (wraps).
uint32_t GetNowMilliSeconds();
// 1 when the MMX instruction set may be used.
int IsMmxUsable();

// Logs the message and a closing line, ends the library and the process with exit code -1.
[[noreturn]] void ExitOnFatalError(const char* message);
// Tests intercept fatal errors: the handler runs instead of ending the process; when it
// returns, the process still ends. Null restores the default.
using FatalErrorHandler = void (*)(const char* message);
void SetFatalErrorHandler(FatalErrorHandler handler);
// The library registers how to end itself before the process exits.
void SetLibraryEndHook(void (*end)());

}  // namespace zq::base
