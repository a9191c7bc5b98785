#pragma once
// The settings keep Windows-1252 bytes; Qt shows Unicode. A character that
// Windows-1252 cannot hold becomes "?".

#include "platform/CString.h"

#include <QString>

namespace tessel::pages {

QString ToQt(const CString& s);
CString FromQt(const QString& s);

}  // namespace tessel::pages
