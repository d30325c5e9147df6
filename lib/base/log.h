// The library log "AppLog.txt": time stamp and indent at each line start, CR LF line ends.
#pragma once

#include <cstdarg>

namespace zq::base {

// Recreates the log file in the given directory (the start directory).
int LogOpen(const char* directory);
void LogClose();

// Appends text; adds no line end. Returns -1 so failure paths can return it.
int LogAddString(const char* text);
// Appends one entry that ends its line: the text, then a line end unless it ends with one.
// Returns -1.
int LogAddLine(const char* text);
// printf-style formatting plus a line end. Returns -1.
int LogAddFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));
int LogAddFormatV(const char* format, va_list args);
void LogIndentIn();
void LogIndentOut();

// Full path of the log file, for tests and diagnostics ("" when closed).
const char* LogFilePath();

}  // namespace zq::base
