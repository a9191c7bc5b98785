#pragma once
// The first worksheet of an xlsx workbook, read straight from its parts:
// the package relationships lead to the workbook, the workbook's first
// worksheet entry and its relationship to the sheet part, whose cells are
// read with a streaming XML parser. Shared strings and styles are never
// read: a text cell is not a number whatever it says.
//
// Relationship targets may be relative to their part or absolute within the
// package ("/xl/worksheets/sheet1.xml", as openpyxl writes them); both are
// resolved.

#include "formats/spreadsheet/NumberTable.h"
#include "platform/CString.h"

#include <string_view>

// False with `reason` when the package or a part of it cannot be read.
bool ReadXlsxFirstSheet(std::string_view content, CNumberTable& table, CString& reason);
