#pragma once
// The clipboard text the host takes from a spreadsheet program: one row per
// line, numbers separated by blanks or tabs, "," read as the decimal point.
//
// The first line decides the columns: its numbers up to the first thing
// that is not one. The rows are the lines before the first empty line. In
// every row the columns' numbers are read in order; from the first one that
// cannot be read on, the row's cells are 0.0, and numbers beyond the first
// line's count are ignored. Every cell of the table is a number.

#include "formats/spreadsheet/NumberTable.h"

#include <cstddef>

// Reads `length` bytes of text (a NUL byte ends it early). False when the
// table would exceed its cell limit; an empty table is not a failure here
// (the writer refuses it).
bool ParseClipboardText(const char* text, std::size_t length, CNumberTable& table);
