#pragma once
// The process-wide version text ("<version> V5.0 SP1 of Bootwick"): set by the
// settings reader, carried by the error report. Empty until set.
const char* GetVersionText();
void SetVersionText(const char* text);
