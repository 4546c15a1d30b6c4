// The plug-in's only diagnostics: lines on the platform's debug output.
#pragma once

// Formats with printf rules and writes the text to the debug output.
// Returns 1 when written, 0 for a null format or when no buffer could be had.
int debugPrint(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Reports a failed internal check on the debug output. Never aborts: a
// print job must not die for a diagnostic.
void reportAssertion(bool holds, const char* text, const char* file, int line);
