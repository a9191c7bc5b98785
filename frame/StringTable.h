#pragma once
// The module's own string table: the result codes and their texts.

// The text of `id`, or null for an id the table does not hold.
const char* TesselOwnText(unsigned id);
