#pragma once
// The first worksheet of an xlsx workbook, read straight from its parts:
// the package relationships lead to the workbook, the workbook's first
// worksheet entry and its relationship to the sheet part, whose cells are
// read with expat (XmlEvents.h). Shared strings are never read: a text cell
// is not a number whatever it says. Of the styles only the cell formats are
// read, which tell a date from a number.
//
// Relationship targets may be relative to their part or absolute within the
// package ("/xl/worksheets/sheet1.xml", as openpyxl writes them); both are
// resolved.

#include "formats/spreadsheet/NumberTable.h"
#include "platform/CString.h"

#include <string_view>

// False with `reason` when the package or a part of it cannot be read.
bool ReadXlsxFirstSheet(std::string_view content, CNumberTable& table, CString& reason);
